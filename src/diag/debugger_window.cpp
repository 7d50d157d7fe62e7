#include "diag/debugger_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "common/configuration.h"
#include "common/save_file.h"
#include "link/fixed_font_widget.h"
#include "link/link_panel_widget.h"
#include "link/tool_bar_widget.h"

namespace ulv {

namespace {

QLineEdit* Field(QWidget* parent, const char* name, const char* hint = nullptr) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(QLatin1String(name));
  if (hint) e->setToolTip(QString::fromUtf8(hint));
  return e;
}

QPushButton* Button(QWidget* parent, const char* name, const char* caption) {
  auto* b = new QPushButton(QString::fromUtf8(caption), parent);
  b->setObjectName(QLatin1String(name));
  return b;
}

// An up-down control: arrows only, upwards counts up.
QScrollBar* UpDown(QWidget* parent, const char* name, int maximum) {
  auto* s = new QScrollBar(Qt::Vertical, parent);
  s->setObjectName(QLatin1String(name));
  s->setRange(0, maximum);
  s->setInvertedAppearance(true);
  s->setInvertedControls(true);
  s->setFixedSize(17, 24);
  return s;
}

QLabel* Caption(QWidget* parent, const char* text) { return new QLabel(QString::fromUtf8(text), parent); }

}  // namespace

TUlvDebug::TUlvDebug(MemoryDebugger& debugger, const Configuration& config, QWidget* parent)
    : QWidget(parent), debugger_(debugger), symFile_(config.SymFile()) {
  setObjectName(QStringLiteral("UlvDebug"));
  ShowMessage = [this](const QString& text) { QMessageBox::warning(this, QString(), text); };
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(1, 1, 1, 1);

  auto* toolBar = new QToolBar(this);
  toolBar->setObjectName(QStringLiteral("ToolBar1"));
  QToolButton* close =
      AddTextButton(toolBar, "CloseButton", QStringLiteral("S&chließen"), QStringLiteral("Tarvo schliessen"));
  panel1_ = new QLabel(QStringLiteral("Ulv Debugger "), toolBar);
  panel1_->setObjectName(QStringLiteral("Panel1"));
  toolBar->addWidget(panel1_);
  linkLed_ = new TLinkPanel(toolBar);
  linkLed_->setObjectName(QStringLiteral("link_led"));
  toolBar->addWidget(linkLed_);
  QToolButton* help = AddTextButton(toolBar, "SpeedButton1", QStringLiteral("? Wa Byte"));
  QToolButton* symbolFile = AddTextButton(toolBar, "SpeedButton2", QStringLiteral("Symbolfile"));
  layout->addWidget(toolBar);

  auto* body = new QGridLayout;
  layout->addLayout(body);

  auto* adresse = new QGroupBox(QStringLiteral("ADRESSE"), this);
  adresse->setObjectName(QStringLiteral("GroupBox2"));
  auto* a = new QGridLayout(adresse);
  basis_ = Field(adresse, "Basis", "ioptr=Daten Basis (+offset)");
  upDown2_ = UpDown(adresse, "UpDown2", 32767);
  auto* fff0 = Button(adresse, "SpeedButton4", "$FFF0");
  offset_ = Field(adresse, "Offset", "logischer offset");
  offset_->setText(QStringLiteral("0"));
  upDown1_ = UpDown(adresse, "UpDown1", 32767);
  auto* set0 = Button(adresse, "Button4", "set 0");
  resultat_ = Field(adresse, "Resultat", "=ioptr");
  resultat_->setReadOnly(true);
  resultat_->setText(QStringLiteral("$D000"));
  auto* debPtr = Button(adresse, "BitBtn2", "deb.ptr");
  edit4_ = Field(adresse, "Edit4");
  a->addWidget(basis_, 0, 0);
  a->addWidget(upDown2_, 0, 1);
  a->addWidget(fff0, 0, 2);
  a->addWidget(offset_, 1, 0);
  a->addWidget(upDown1_, 1, 1);
  a->addWidget(set0, 1, 2);
  a->addWidget(resultat_, 2, 0);
  a->addWidget(debPtr, 2, 2);
  a->addWidget(edit4_, 2, 3);
  body->addWidget(adresse, 0, 0);

  comboBox1_ = new QComboBox(this);
  comboBox1_->setObjectName(QStringLiteral("ComboBox1"));
  comboBox1_->setEditable(true);
  comboBox1_->setMaxVisibleItems(20);
  comboBox1_->setInsertPolicy(QComboBox::NoInsert);
  body->addWidget(comboBox1_, 1, 0);

  groupBox1_ = new QGroupBox(QStringLiteral("ERGEBNIS"), this);
  groupBox1_->setObjectName(QStringLiteral("GroupBox1"));
  auto* e = new QGridLayout(groupBox1_);
  const char* resultNames[] = {"Edit1", "Edit2", "Edit3", "Edit6"};
  const char* resultCaptions[] = {"hex", "dez(word)", "dez(byte)", "Ascii"};
  for (int i = 0; i < 4; ++i) {
    result_[i] = Field(groupBox1_, resultNames[i]);
    result_[i]->setFont(FixedPitchFont());
    result_[i]->setReadOnly(i > 0);
    e->addWidget(Caption(groupBox1_, resultCaptions[i]), i, 0);
    e->addWidget(result_[i], i, 1);
  }
  result_[0]->setText(QStringLiteral("00.00.00.00"));
  body->addWidget(groupBox1_, 2, 0);

  auto* einstellung = new QGroupBox(QStringLiteral("EINSTELLUNG"), this);
  einstellung->setObjectName(QStringLiteral("GroupBox4"));
  auto* s = new QGridLayout(einstellung);
  read8_ = new QCheckBox(QStringLiteral("read(8)"), einstellung);
  read8_->setObjectName(QStringLiteral("debugcheckbox"));
  auto* readButton = Button(einstellung, "ReadButton", "Read");
  auto* sendButton = Button(einstellung, "SendButton", "Send");
  intervall_ = Button(einstellung, "IntervallButton", "Intervall");
  edit5_ = Field(einstellung, "Edit5");
  edit5_->setReadOnly(true);
  trackBar1_ = new QSlider(Qt::Horizontal, einstellung);
  trackBar1_->setObjectName(QStringLiteral("TrackBar1"));
  trackBar1_->setRange(MemoryDebugger::kPollMinMs, MemoryDebugger::kPollMaxMs);
  trackBar1_->setSingleStep(100);
  trackBar1_->setPageStep(100);
  trackBar1_->setTickInterval(100);
  trackBar1_->setValue(500);
  s->addWidget(read8_, 0, 0);
  s->addWidget(readButton, 0, 1);
  s->addWidget(sendButton, 0, 2);
  s->addWidget(intervall_, 1, 0);
  s->addWidget(edit5_, 1, 1);
  s->addWidget(trackBar1_, 1, 2);
  auto* ok = Button(einstellung, "BitBtn1", "OK");
  auto* dump = Button(einstellung, "BitBtn3", "dump");
  s->addWidget(ok, 2, 1);
  s->addWidget(dump, 2, 2);
  body->addWidget(einstellung, 0, 1);

  auto* groupBox3 = new QGroupBox(QString(), this);
  groupBox3->setObjectName(QStringLiteral("GroupBox3"));
  auto* g3 = new QGridLayout(groupBox3);
  sender_ = new QComboBox(groupBox3);
  sender_->setObjectName(QStringLiteral("Sender"));
  sender_->setEditable(true);
  sender_->setEditText(QStringLiteral("F100"));
  receiver_ = Field(groupBox3, "Receiver");
  auto* button1 = Button(groupBox3, "Button1", "Send");
  auto* button2 = Button(groupBox3, "Button2", "flush");
  g3->addWidget(sender_, 0, 0);
  g3->addWidget(button1, 0, 1);
  g3->addWidget(receiver_, 1, 0);
  g3->addWidget(button2, 1, 1);
  body->addWidget(groupBox3, 1, 1);

  auto* wart = new QGroupBox(QStringLiteral("FZ/BS/W-INTV"), this);
  wart->setObjectName(QStringLiteral("WartByte"));
  auto* w = new QGridLayout(wart);
  const struct {
    const char* name;
    const char* caption;
    const char* hint;
  } maint[] = {{"Edit7", "FZ", "Fahrtenzähler"},
               {"Edit9", "BS", "Betriebs Stunden"},
               {"Edit10", "", "Betriebs Stunden"},
               {"Edit8", "W.Interv.", "Wartungs-Intervall"},
               {"Edit11", "W.Byte", "Wartungs Byte"}};
  for (int i = 0; i < 5; ++i) {
    maint_[i] = Field(wart, maint[i].name, maint[i].hint);
    w->addWidget(Caption(wart, maint[i].caption), i, 0);
    w->addWidget(maint_[i], i, 1);
  }
  auto* holen = Button(wart, "Button3", "holen");
  senden_ = Button(wart, "Button5", "senden");
  senden_->setEnabled(false);
  auto* test = Button(wart, "Button6", "test");
  w->addWidget(holen, 0, 2);
  w->addWidget(senden_, 1, 2);
  w->addWidget(test, 2, 2);
  body->addWidget(wart, 2, 1);

  memo1_ = new QPlainTextEdit(this);
  memo1_->setObjectName(QStringLiteral("Memo1"));
  memo1_->setFont(FixedPitchFont());
  memo1_->setMaximumBlockCount(10000);
  memo1_->hide();
  layout->addWidget(memo1_, 1);
  layout->addStretch();

  // Creation: the debug file, if there is one, in Memo1.
  QByteArray debugText;
  if (ReadWholeFile(config.DebugFile(), &debugText)) {
    memo1_->setPlainText(QString::fromLatin1(debugText));
    groupBox3->setTitle(config.Ini().Value(QStringLiteral("files"), QStringLiteral("debugfile"), QStringLiteral("??")));
  }

  linkControls_ = {comboBox1_, ok, button1, button2, set0, readButton, sendButton, intervall_, upDown1_, upDown2_};
  linkLed_->OnLink = [this](LinkLamp*, bool linked) {
    for (QWidget* c : linkControls_) c->setEnabled(linked);
    if (linked) comboBox1_->setEditText(QStringLiteral("debug"));
  };

  QPointer<TUlvDebug> self(this);
  debugger_.IsVisible = [self] { return self && self->isVisible(); };
  debugger_.OnAddress = [self](const QString& text) {
    if (!self) return;
    self->resultat_->setText(text);
    self->groupBox1_->setTitle(QStringLiteral("@=") + text);
  };
  debugger_.OnResult = [self](const QString& hex, const QString& word, const QString& bytes, const QString& chars) {
    if (!self) return;
    const QString texts[] = {hex, word, bytes, chars};
    for (int i = 0; i < 4; ++i) self->result_[i]->setText(texts[i]);
  };
  debugger_.OnPointer = [self](const QString& text) {
    if (self) self->edit4_->setText(text);
  };
  debugger_.OnPollCount = [self](int count) {
    if (!self) return;
    self->edit5_->setText(QString::number(count));
    self->edit5_->setStyleSheet(count % 2 ? QStringLiteral("background: white") : QStringLiteral("background: yellow"));
  };
  debugger_.OnPolling = [self](bool running) {
    if (!self) return;
    self->intervall_->setText(running ? QStringLiteral("stop") : QStringLiteral("run"));
    if (!running) self->edit5_->setStyleSheet(QStringLiteral("background: white"));
  };
  debugger_.OnMaintenance = [self](const MaintenanceFields& f) {
    if (!self) return;
    const QString texts[] = {f.trips, f.hours, f.minutes, f.interval, f.flags};
    for (int i = 0; i < 5; ++i) self->maint_[i]->setText(texts[i]);
  };
  debugger_.OnSendEnabled = [self](bool on) {
    if (self) self->senden_->setEnabled(on);
  };
  debugger_.OnMemo = [self](const QString& line) {
    if (self) self->memo1_->appendPlainText(line);
  };
  debugger_.OnMessage = [self](const QString& text) {
    if (self && self->ShowMessage) self->ShowMessage(text);
  };

  connect(close, &QToolButton::clicked, this, &QWidget::hide);
  connect(help, &QToolButton::clicked, this, [this] {
    if (OnHelp) OnHelp(QStringLiteral("Wartungsbyte"));
  });
  connect(symbolFile, &QToolButton::clicked, this, [this] {
    memo1_->setVisible(!memo1_->isVisible());
    QByteArray text;
    if (!ReadWholeFile(QDir::current().filePath(QStringLiteral("symbolfile.txt")), &text)) {
      if (ShowMessage) ShowMessage(QStringLiteral("symbolfile.txt nicht gefunden"));
      return;
    }
    memo1_->setPlainText(QString::fromLatin1(text));
  });
  connect(basis_, &QLineEdit::textChanged, this, &TUlvDebug::AddressChanged);
  connect(offset_, &QLineEdit::textChanged, this, &TUlvDebug::AddressChanged);
  connect(upDown1_, &QScrollBar::valueChanged, this, [this](int v) { offset_->setText(QString::number(v)); });
  connect(upDown2_, &QScrollBar::valueChanged, this, [this](int v) { basis_->setText(QString::number(v)); });
  connect(fff0, &QPushButton::clicked, this, [this] { basis_->setText(QStringLiteral("$FFF0")); });
  connect(set0, &QPushButton::clicked, this, [this] {
    {
      const QSignalBlocker b1(offset_);
      const QSignalBlocker b2(upDown1_);
      offset_->setText(QStringLiteral("0"));
      upDown1_->setValue(0);
    }
    SelectSymbol();
  });
  connect(debPtr, &QPushButton::clicked, this, [this] { debugger_.FollowPointer(); });
  connect(comboBox1_, &QComboBox::textActivated, this, &TUlvDebug::SelectSymbol);
  connect(comboBox1_->lineEdit(), &QLineEdit::returnPressed, this, &TUlvDebug::SelectSymbol);
  connect(readButton, &QPushButton::clicked, this, &TUlvDebug::SelectSymbol);
  connect(ok, &QPushButton::clicked, this, &TUlvDebug::SelectSymbol);
  connect(sendButton, &QPushButton::clicked, this, [this] { debugger_.Send(result_[0]->text()); });
  connect(read8_, &QCheckBox::toggled, this, [this](bool on) { debugger_.SetReadEight(on); });
  connect(intervall_, &QPushButton::clicked, this, [this] { debugger_.TogglePolling(); });
  connect(trackBar1_, &QSlider::valueChanged, this, [this](int v) { debugger_.SetPollInterval(v); });
  connect(dump, &QPushButton::clicked, this, [this] {
    if (debugger_.PrepareDump() && OnDump) OnDump(resultat_->text());
  });
  connect(button1, &QPushButton::clicked, this, [this] {
    const QString text = sender_->currentText();
    const int semicolon = text.indexOf(QLatin1Char(';'));
    receiver_->setText(QStringLiteral("send.call...") + (semicolon < 0 ? text : text.left(semicolon)) +
                       QStringLiteral(" fertig schreiben..."));
  });
  connect(holen, &QPushButton::clicked, this, [this] { debugger_.FetchMaintenance(); });
  connect(senden_, &QPushButton::clicked, this, [this] {
    debugger_.SendMaintenance({maint_[0]->text(), maint_[1]->text(), maint_[2]->text(), maint_[3]->text(),
                               maint_[4]->text()});
  });
  connect(test, &QPushButton::clicked, this, [this] { memo1_->setVisible(!memo1_->isVisible()); });
}

TUlvDebug::~TUlvDebug() {
  debugger_.StopPolling();
  debugger_.IsVisible = nullptr;
  debugger_.OnAddress = nullptr;
  debugger_.OnResult = nullptr;
  debugger_.OnPointer = nullptr;
  debugger_.OnPollCount = nullptr;
  debugger_.OnPolling = nullptr;
  debugger_.OnMaintenance = nullptr;
  debugger_.OnSendEnabled = nullptr;
  debugger_.OnMemo = nullptr;
  debugger_.OnMessage = nullptr;
}

void TUlvDebug::AddressChanged() { debugger_.SetAddress(basis_->text(), offset_->text()); }

void TUlvDebug::SelectSymbol() {
  const QString text = comboBox1_->currentText();
  if (!MemoryDebugger::SymbolAddress(text)) return;
  {
    const QSignalBlocker b(basis_);
    basis_->setText(QLatin1Char('$') + text.mid(text.indexOf(QLatin1Char(',')) + 1, 4));
  }
  AddressChanged();
}

void TUlvDebug::LoadSymbols() {
  if (comboBox1_->count() > 0 || symFile_.isEmpty()) return;
  QByteArray text;
  if (!ReadWholeFile(symFile_, &text)) return;
  const QSignalBlocker b(comboBox1_);
  const QString shown = comboBox1_->currentText();
  comboBox1_->addItems(MemoryDebugger::ParseSymbols(text));
  comboBox1_->setEditText(shown);
}

void TUlvDebug::showEvent(QShowEvent* event) {
  LoadSymbols();
  panel1_->setText(QStringLiteral("SymFile=") + symFile_);
  QWidget::showEvent(event);
}

void TUlvDebug::hideEvent(QHideEvent* event) {
  debugger_.StopPolling();
  QWidget::hideEvent(event);
}

}  // namespace ulv
