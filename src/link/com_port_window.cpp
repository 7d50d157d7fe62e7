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

TMyComPort::TMyComPort(ComPort& port, SerialLine& line, TimerFactory& timers, QWidget* parent)
    : QWidget(parent, Qt::Window), port_(port), line_(line), lightsTimer_(timers.CreateTimer()) {
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
  auto* modemOpen = Light(modem, "ModemOpenPanel", clRed);
  auto* modemId = Label(modem, "ModemId", QStringLiteral("keine ModemId"));
  auto* connectLed = Light(modem, "ConnectLed", clMaroon);
  connectLabel_ = Label(modem, "ConnectLabel", QStringLiteral("NC"));
  auto* dataModLed = Light(modem, "DataModLed", clRed);
  auto* dialStatus = Label(modem, "DialStatusLabel", QString());
  auto* timerString = Label(modem, "timerstring", QString());
  nachricht_ = new QLineEdit(modem);
  nachricht_->setObjectName(QStringLiteral("Nachricht"));
  nachricht_->setReadOnly(true);
  mg->addWidget(modemOpen, 0, 0);
  mg->addWidget(modemId, 0, 1);
  mg->addWidget(connectLed, 0, 2);
  mg->addWidget(connectLabel_, 0, 3);
  mg->addWidget(dataModLed, 0, 4);
  mg->addWidget(dialStatus, 0, 5);
  mg->addWidget(timerString, 0, 6);
  mg->addWidget(nachricht_, 1, 0, 1, 7);
  mg->setColumnStretch(5, 1);

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
  top->addWidget(tests);
  top->addWidget(memo_, 1);

  connect(com1, &QPushButton::clicked, this, [this] { port_.OpenPort(1); });
  connect(com2, &QPushButton::clicked, this, [this] { port_.OpenPort(2); });
  connect(closeBtn, &QPushButton::clicked, this, [this] { port_.ClosePort(); });
  connect(atBtn, &QPushButton::clicked, this, [this] { SendText("AT\r"); });
  connect(sohBtn, &QPushButton::clicked, this, [this] { port_.SendByte(0x01); });
  connect(atsButton_, &QPushButton::clicked, this, [this] { AtsClick(); });
  connect(identButton_, &QPushButton::clicked, this, [this] { IdentClick(); });
  connect(echoBtn, &QPushButton::clicked, this, [this] { SendText(EchoOffCmd.toLatin1() + '\r'); });
  connect(inpBtn, &QPushButton::clicked, this, [this] { InputBoxClick(); });
  connect(clearBtn, &QPushButton::clicked, this, [this] { memo_->ClearAll(); });
  connect(localButton_, &QPushButton::clicked, this, [this] { LocalClick(); });

  InputBox = [this](const QString& caption, const QString& prompt, QString* text) {
    bool ok = false;
    const QString answer = QInputDialog::getText(this, caption, prompt, QLineEdit::Normal, *text, &ok);
    if (ok) *text = answer;
    return ok;
  };

  port_.OnPortStateChanged = [this] { ShowPortState(); };
  port_.OnMessage = [this](const QString& text) { nachricht_->setText(text); };
  port_.OnConnectText = [this](const QString& text) { connectLabel_->setText(text); };

  lightsTimer_->OnTimeout = [this] {
    ShowTrace();
    UpdateLights();
  };

  port_.Link().RegisterLinkLed(link_led);
  ShowPortState();
}

TMyComPort::~TMyComPort() {
  port_.OnPortStateChanged = nullptr;
  port_.OnMessage = nullptr;
  port_.OnConnectText = nullptr;
}

void TMyComPort::ShowPortState() {
  const bool open = port_.IsOpen() && !port_.PortBlocked();
  portGroup_->setTitle(open ? QStringLiteral("PORT OPEN") : QStringLiteral("PORT CLOSED"));
  comOpenPanel_->SetColor(open ? clGreen : clRed);
  if (open) {
    comName_->setText(QStringLiteral("COM") + QString::number(port_.ComNumber()));
    comPortLabel_->setText(port_.PortDescription());
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

void TMyComPort::SendText(const QByteArray& text) { port_.SendString(text); }

void TMyComPort::AtsClick() {
  SendText("ATS" + QByteArray::number(atsCounter_) + "?\r");
  atsCounter_ = atsCounter_ >= 20 ? 0 : atsCounter_ + 1;
  atsButton_->setText(QStringLiteral("ATS") + QString::number(atsCounter_) + QStringLiteral("?"));
}

void TMyComPort::IdentClick() {
  SendText("ATI" + QByteArray::number(identCounter_) + "\r");
  identCounter_ = identCounter_ >= 10 ? 0 : identCounter_ + 1;
  identButton_->setText(QStringLiteral("ATI") + QString::number(identCounter_));
}

void TMyComPort::InputBoxClick() {
  QString text = QStringLiteral("AT");
  if (!InputBox || !InputBox(QStringLiteral("TEST STRING"), QString(), &text)) return;
  SendText(text.toLatin1() + '\r');
}

void TMyComPort::LocalClick() {
  // First press: the received bytes go to the modem-line assembly; the next
  // press gives them back to the protocol layer that owned them.
  if (!localMode_) {
    savedReceiveHook_ = std::move(port_.ReceiveHook);
    port_.ReceiveHook = nullptr;
    localMode_ = true;
  } else {
    port_.ReceiveHook = std::move(savedReceiveHook_);
    savedReceiveHook_ = nullptr;
    localMode_ = false;
  }
  localButton_->setChecked(localMode_);
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
