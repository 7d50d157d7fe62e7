#include "link/com_port_window.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>
#include <algorithm>

#include "link/fixed_font_widget.h"

namespace ulv {

TraceMemo::TraceMemo(TimerFactory& timers, int maxLines, QWidget* parent)
    : QPlainTextEdit(parent), flushTimer_(timers.CreateTimer()), maxLines_(std::max(1, maxLines)) {
  setReadOnly(true);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setUndoRedoEnabled(false);
  setFont(FixedPitchFont(12));
  flushTimer_->SetSingleShot(true);
  flushTimer_->OnTimeout = [this] { Flush(); };
}

void TraceMemo::AppendLine(const QString& line) {
  pending_.append(line);
  CapPending();
  if (!flushTimer_->IsActive()) flushTimer_->Start(kFlushMs);
}

void TraceMemo::AppendLines(const QStringList& lines) {
  pending_ += lines;
  CapPending();
  Flush();
}

// Lines beyond what the memo keeps would be dropped anyway.
void TraceMemo::CapPending() {
  if (pending_.size() > maxLines_) pending_.erase(pending_.begin(), pending_.begin() + (pending_.size() - maxLines_));
}

// The memo keeps its bound itself: the editor's own block limit drops old
// lines by moving a cursor block by block, which lays out every dropped line.
// Cut by position, they go without being laid out.
void TraceMemo::Flush() {
  flushTimer_->Stop();
  if (pending_.isEmpty()) return;
  QTextDocument* doc = document();
  const int excess = doc->isEmpty() ? 0 : doc->blockCount() + static_cast<int>(pending_.size()) - maxLines_;
  if (pending_.size() >= maxLines_) {
    clear();
  } else if (excess > 0) {
    QTextCursor cut(doc);
    cut.setPosition(doc->findBlockByNumber(excess).position(), QTextCursor::KeepAnchor);
    cut.removeSelectedText();
  }
  const QString text = pending_.join(QLatin1Char('\n'));
  pending_.clear();
  appendPlainText(text);
}

TraceView::TraceView(int maxLines, QWidget* parent) : QAbstractScrollArea(parent), maxLines_(std::max(1, maxLines)) {
  setFont(FixedPitchFont(12));
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  setFocusPolicy(Qt::StrongFocus);
}

void TraceView::AppendLines(const QStringList& lines) {
  if (lines.isEmpty()) return;
  QScrollBar* v = verticalScrollBar();
  const bool atEnd = v->value() >= v->maximum();
  lines_ += lines;
  if (lines_.size() > maxLines_) lines_.erase(lines_.begin(), lines_.begin() + (lines_.size() - maxLines_));
  for (const QString& line : lines) widestLine_ = std::max(widestLine_, line.size());
  UpdateScrollBars();
  if (atEnd) v->setValue(v->maximum());
  viewport()->update();
}

void TraceView::ClearAll() {
  lines_.clear();
  widestLine_ = 0;
  UpdateScrollBars();
  viewport()->update();
}

void TraceView::UpdateScrollBars() {
  const QFontMetrics fm(font());
  const int rows = std::max(1, viewport()->height() / fm.lineSpacing());
  verticalScrollBar()->setPageStep(rows);
  verticalScrollBar()->setRange(0, std::max(0, LineCount() - rows));
  const int width = static_cast<int>(widestLine_) * fm.horizontalAdvance(QLatin1Char('M')) + 8;
  horizontalScrollBar()->setPageStep(viewport()->width());
  horizontalScrollBar()->setRange(0, std::max(0, width - viewport()->width()));
}

void TraceView::paintEvent(QPaintEvent*) {
  QPainter p(viewport());
  const QFontMetrics fm(font());
  const int x = 4 - horizontalScrollBar()->value();
  int y = 2 + fm.ascent();
  for (int i = verticalScrollBar()->value(); i < LineCount() && y - fm.ascent() < viewport()->height(); ++i) {
    p.drawText(x, y, lines_.at(i));
    y += fm.lineSpacing();
  }
}

void TraceView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
}

void TraceView::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    QGuiApplication::clipboard()->setText(Text());
    return;
  }
  QAbstractScrollArea::keyPressEvent(event);
}

// Rows are painted from the scroll bars' values; nothing to move.
void TraceView::scrollContentsBy(int, int) { viewport()->update(); }

void TraceMemo::ClearAll() {
  flushTimer_->Stop();
  pending_.clear();
  clear();
}

namespace {

QPushButton* Button(QWidget* parent, const char* name, const QString& text) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(QLatin1String(name));
  b->setAutoDefault(false);
  return b;
}

TLinkPanel* Light(QWidget* parent, const char* name, uint32_t color) {
  auto* p = new TLinkPanel(parent);
  p->setObjectName(QLatin1String(name));
  p->setFixedSize(13, 13);
  p->setCursor(Qt::ArrowCursor);
  p->SetColor(color);
  return p;
}

QLabel* Label(QWidget* parent, const char* name, const QString& text) {
  auto* l = new QLabel(text, parent);
  l->setObjectName(QLatin1String(name));
  return l;
}

}  // namespace

TMyComPort::TMyComPort(ComPort& port, SerialLine& line, ModemLink& modemLink, TimerFactory& timers, QWidget* parent)
    : QWidget(parent, Qt::Window), port_(port), line_(line), modem_(modemLink), lightsTimer_(timers.CreateTimer()) {
  setObjectName(QStringLiteral("MyComPort"));
  setWindowTitle(QStringLiteral("MyComPort"));
  resize(560, 520);

  auto* top = new QVBoxLayout(this);

  // Port group: state panel, port name and description, open/close buttons.
  portGroup_ = new QGroupBox(QStringLiteral("PORT CLOSED"), this);
  portGroup_->setObjectName(QStringLiteral("GroupBox1"));
  auto* pg = new QGridLayout(portGroup_);
  comOpenPanel_ = Light(portGroup_, "ComOpenPanel", clRed);
  comOpenPanel_->setFixedSize(17, 17);
  comName_ = Label(portGroup_, "COMname", QStringLiteral("COM"));
  comPortLabel_ = Label(portGroup_, "ComPortLabel", QString());
  auto* com1 = Button(portGroup_, "Com1Button", QStringLiteral("COM1"));
  auto* com2 = Button(portGroup_, "Com2Button", QStringLiteral("COM2"));
  auto* closeBtn = Button(portGroup_, "CloseButton", QStringLiteral("CLOSE"));
  link_led = new TLinkPanel(portGroup_);
  link_led->setObjectName(QStringLiteral("link_led"));
  pg->addWidget(comOpenPanel_, 0, 0);
  pg->addWidget(comName_, 0, 1);
  pg->addWidget(comPortLabel_, 0, 2, 1, 2);
  pg->addWidget(link_led, 0, 4);
  pg->addWidget(com1, 1, 0, 1, 2);
  pg->addWidget(com2, 1, 2);
  pg->addWidget(closeBtn, 1, 3);
  pg->setColumnStretch(2, 1);

  // Status lights of the line.
  auto* lights = new QGroupBox(QStringLiteral("Status"), this);
  lights->setObjectName(QStringLiteral("StatusGroup"));
  auto* lg = new QHBoxLayout(lights);
  txd_ = Light(lights, "TxdLight", clMaroon);
  rxd_ = Light(lights, "RxdLight", clMaroon);
  dcd_ = Light(lights, "DcdLight", clMaroon);
  dsr_ = Light(lights, "DsrLight", clMaroon);
  ring_ = Light(lights, "RingLight", clMaroon);
  const std::pair<TLinkPanel*, const char*> lightRows[] = {
      {txd_, "TxD"}, {rxd_, "RxD"}, {dcd_, "DCD"}, {dsr_, "DSR"}, {ring_, "RING"}};
  for (const auto& [light, text] : lightRows) {
    lg->addWidget(light);
    lg->addWidget(new QLabel(QLatin1String(text), lights));
    lg->addSpacing(6);
  }
  lg->addStretch(1);

  // Modem display (driven by the modem answer lines).
  auto* modem = new QGroupBox(QStringLiteral("Modem"), this);
  modem->setObjectName(QStringLiteral("ModemGroup"));
  auto* mg = new QGridLayout(modem);
  modemOpen_ = Light(modem, "ModemOpenPanel", clRed);
  modemId_ = Label(modem, "ModemId", QStringLiteral("keine ModemId"));
  connectLed_ = Light(modem, "ConnectLed", clMaroon);
  connectLabel_ = Label(modem, "ConnectLabel", QStringLiteral("NC"));
  dataModLed_ = Light(modem, "DataModLed", clRed);
  dialStatus_ = Label(modem, "DialStatusLabel", QString());
  timerString_ = Label(modem, "timerstring", QString());
  nachricht_ = new QLineEdit(modem);
  nachricht_->setObjectName(QStringLiteral("Nachricht"));
  nachricht_->setReadOnly(true);
  mg->addWidget(modemOpen_, 0, 0);
  mg->addWidget(modemId_, 0, 1);
  mg->addWidget(connectLed_, 0, 2);
  mg->addWidget(connectLabel_, 0, 3);
  mg->addWidget(dataModLed_, 0, 4);
  mg->addWidget(dialStatus_, 0, 5);
  mg->addWidget(timerString_, 0, 6);
  mg->addWidget(nachricht_, 1, 0, 1, 7);
  mg->setColumnStretch(5, 1);

  // Modem and framed-transport buttons.
  auto* modemButtons = new QWidget(this);
  auto* mb = new QGridLayout(modemButtons);
  mb->setContentsMargins(0, 0, 0, 0);
  const struct {
    const char* name;
    const char* text;
    std::function<void()> action;
  } modemRows[] = {
      {"InitButton", "INIT", [this] { modem_.Init(); }},
      {"TestButton", "TEST",
       [this] { modem_.Test([this](const QString& t) { port_.SetMessage(QStringLiteral("MODEMTEST=") + t); }); }},
      {"DialButton", "WAHL", [this] { DialClick(); }},
      {"HangUpButton", "HangUp", [this] { modem_.HangUp(); }},
      {"PartnerNameButton", "PartnerName", [this] { modem_.RequestPartnerName(); }},
      {"NotifyButton", "030C0513", [this] { modem_.SendNotify(); }},
      {"NcResetButton", "NC/RESET", [this] { modem_.NcReset(); }},
      {"MstSyncButton", "MST.SYNC", [this] { modem_.MstSync(); }},
      {"QelF100Button", "QEL/F100", [this] { modem_.SendFramedTest(QByteArray("\xF1\x00", 2)); }},
      {"QelF101Button", "QEL/F101", [this] { modem_.SendFramedTest(QByteArray("\xF1\x01", 2)); }},
      {"QelF140Button", "QEL/F140", [this] { modem_.SendFramedTest(QByteArray("\xF1\x40", 2)); }},
      {"Group0Button", "GRP 0",
       [this] { modem_.SendFramedTest(QByteArray("\xF0\x10\x70\x00\xF1\x00", 6)); }},
      {"Group1Button", "GRP 1",
       [this] { modem_.SendFramedTest(QByteArray("\xF0\x10\x70\x01\xF1\x00", 6)); }},
  };
  int cell = 0;
  for (const auto& row : modemRows) {
    QPushButton* b = Button(modemButtons, row.name, QLatin1String(row.text));
    connect(b, &QPushButton::clicked, this, row.action);
    mb->addWidget(b, cell / 5, cell % 5);
    ++cell;
  }

  // Test buttons.
  auto* tests = new QWidget(this);
  auto* tg = new QGridLayout(tests);
  tg->setContentsMargins(0, 0, 0, 0);
  auto* atBtn = Button(tests, "ATButton", QStringLiteral("-> 'AT'"));
  auto* sohBtn = Button(tests, "SOHButton", QStringLiteral("-> 'SOH'"));
  atsButton_ = Button(tests, "ATSButton", QStringLiteral("-> 'ATSn?'"));
  identButton_ = Button(tests, "IdentButton", QStringLiteral("Identification"));
  auto* echoBtn = Button(tests, "EchoOffButton", QStringLiteral("ECHO/OFF"));
  auto* inpBtn = Button(tests, "InpBoxButton", QStringLiteral("INP.BOX"));
  auto* clearBtn = Button(tests, "ClearButton", QStringLiteral("Clear"));
  localButton_ = Button(tests, "LocalButton", QStringLiteral("LOCAL"));
  localButton_->setCheckable(true);
  QPushButton* row[] = {atBtn, sohBtn, atsButton_, identButton_, echoBtn, inpBtn, clearBtn, localButton_};
  for (int i = 0; i < 8; ++i) tg->addWidget(row[i], i / 4, i % 4);

  memo_ = new TraceView(kTraceLines, this);
  memo_->setObjectName(QStringLiteral("Memo1"));

  top->addWidget(portGroup_);
  top->addWidget(lights);
  top->addWidget(modem);
  top->addWidget(modemButtons);
  top->addWidget(tests);
  top->addWidget(memo_, 1);

  connect(com1, &QPushButton::clicked, this, [this] { port_.OpenPort(1); });
  connect(com2, &QPushButton::clicked, this, [this] { port_.OpenPort(2); });
  connect(closeBtn, &QPushButton::clicked, this, [this] { port_.ClosePort(); });
  connect(atBtn, &QPushButton::clicked, this, [this] { modem_.SendAt(); });
  connect(sohBtn, &QPushButton::clicked, this, [this] { modem_.SendSoh(); });
  connect(atsButton_, &QPushButton::clicked, this, [this] { modem_.SendAts(); });
  connect(identButton_, &QPushButton::clicked, this, [this] { modem_.SendIdent(); });
  connect(echoBtn, &QPushButton::clicked, this, [this] { modem_.SendEchoOff(); });
  connect(inpBtn, &QPushButton::clicked, this, [this] { InputBoxClick(); });
  connect(clearBtn, &QPushButton::clicked, this, [this] { memo_->ClearAll(); });
  connect(localButton_, &QPushButton::clicked, this, [this] { modem_.ToggleLocal(); });

  InputBox = [this](const QString& caption, const QString& prompt, QString* text) {
    bool ok = false;
    const QString answer = QInputDialog::getText(this, caption, prompt, QLineEdit::Normal, *text, &ok);
    if (ok) *text = answer;
    return ok;
  };

  port_.OnPortStateChanged = [this] { ShowPortState(); };
  port_.OnMessage = [this](const QString& text) { nachricht_->setText(text); };
  modem_.OnChanged = [this] { ShowModemState(); };

  lightsTimer_->OnTimeout = [this] {
    ShowTrace();
    UpdateLights();
  };

  port_.Link().RegisterLinkLed(link_led);
  ShowPortState();
  ShowModemState();
}

TMyComPort::~TMyComPort() {
  port_.OnPortStateChanged = nullptr;
  port_.OnMessage = nullptr;
  modem_.OnChanged = nullptr;
}

void TMyComPort::ShowModemState() {
  modemOpen_->SetColor(modem_.ModemOpenColor());
  modemId_->setText(modem_.ModemId());
  connectLed_->SetColor(modem_.ConnectLedColor());
  connectLabel_->setText(modem_.ConnectLabel());
  dataModLed_->SetColor(modem_.DataModLedColor());
  dialStatus_->setText(modem_.DialStatus());
  timerString_->setText(modem_.TimerString());
  if (port_.IsOpen() && !port_.PortBlocked()) comPortLabel_->setText(modem_.PortLabel());
  atsButton_->setText(QStringLiteral("ATS") + QString::number(modem_.AtsCounter()) + QStringLiteral("?"));
  identButton_->setText(QStringLiteral("ATI") + QString::number(modem_.IdentCounter()));
  localButton_->setChecked(modem_.LocalMode());
}

void TMyComPort::ShowPortState() {
  const bool open = port_.IsOpen() && !port_.PortBlocked();
  portGroup_->setTitle(open ? QStringLiteral("PORT OPEN") : QStringLiteral("PORT CLOSED"));
  comOpenPanel_->SetColor(open ? clGreen : clRed);
  if (open) {
    comName_->setText(QStringLiteral("COM") + QString::number(port_.ComNumber()));
    comPortLabel_->setText(modem_.PortLabel());
  }
  UpdateLights();
}

void TMyComPort::SetLight(TLinkPanel* light, bool lit) {
  const uint32_t c = lit ? clLime : clMaroon;
  if (light->Color() != c) light->SetColor(c);
}

void TMyComPort::UpdateLights() {
  const bool open = port_.IsOpen();
  const ModemLines m = open ? line_.Lines() : ModemLines{};
  SetLight(txd_, port_.TracedSince(lightsFrom_, '>'));
  SetLight(rxd_, port_.TracedSince(lightsFrom_, '<'));
  SetLight(dcd_, m.dcd);
  SetLight(dsr_, m.dsr);
  SetLight(ring_, m.ring);
  lightsFrom_ = port_.TraceCount();
}

void TMyComPort::ShowTrace() {
  memo_->AppendLines(port_.TraceLinesSince(traceShown_));
  traceShown_ = port_.TraceCount();
}

void TMyComPort::InputBoxClick() {
  QString text = QStringLiteral("AT");
  if (!InputBox || !InputBox(QStringLiteral("TEST STRING"), QString(), &text)) return;
  modem_.SendInput(text);
}

void TMyComPort::DialClick() {
  QString number = modem_.DialNumber;
  if (!InputBox || !InputBox(QStringLiteral("TEST WAHL"), QStringLiteral("wähle"), &number)) return;
  modem_.DialTest(number);
}

void TMyComPort::closeEvent(QCloseEvent* event) {
  // The window lives for the whole run and closing only hides it; once the
  // port has been closed with CLOSE, closing the window closes it for good.
  event->ignore();
  if (port_.CanClose()) port_.ClosePort();
  hide();
}

void TMyComPort::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // The trace is formatted only for a window that shows it: what came while
  // it was hidden (the port keeps the latest lines) arrives now in one batch.
  ShowTrace();
  ShowPortState();
  lightsTimer_->Start(kLightsMs);
}

void TMyComPort::hideEvent(QHideEvent* event) {
  lightsTimer_->Stop();
  QWidget::hideEvent(event);
}

}  // namespace ulv
