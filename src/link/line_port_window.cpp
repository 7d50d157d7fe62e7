#include "link/line_port_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "common/bytes.h"

namespace ulv {

namespace {

QLineEdit* Field(QWidget* parent, const char* name, const QString& text = QString()) {
  auto* e = new QLineEdit(text, parent);
  e->setObjectName(QLatin1String(name));
  e->setReadOnly(true);
  return e;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& text) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(QLatin1String(name));
  b->setAutoDefault(false);
  return b;
}

}  // namespace

TQel_Form::TQel_Form(LinePort& line, Transfers& transfers, QelUtils& utils, TimerFactory& timers,
                     QWidget* parent)
    : QWidget(parent), line_(line), transfers_(transfers), utils_(utils), countersTimer_(timers.CreateTimer()) {
  setObjectName(QStringLiteral("Qel_Form"));
  setWindowTitle(QStringLiteral("qel_port"));

  auto* top = new QVBoxLayout(this);
  top->setContentsMargins(0, 0, 0, 0);

  ToolBar1 = new QToolBar(this);
  ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
  auto* closeBtn = new QToolButton(ToolBar1);
  closeBtn->setObjectName(QStringLiteral("CloseButton"));
  closeBtn->setText(QStringLiteral("S&chließen"));
  ToolBar1->addWidget(closeBtn);
  auto* onTop = new QCheckBox(QStringLiteral("always on top"), ToolBar1);
  onTop->setObjectName(QStringLiteral("OnTopCheck"));
  ToolBar1->addWidget(onTop);
  ToolBar1->addSeparator();
  link_led = new TLinkPanel(ToolBar1);
  link_led->setObjectName(QStringLiteral("link_led"));
  ToolBar1->addWidget(link_led);
  comPortLabel_ = new QLabel(ToolBar1);
  comPortLabel_->setObjectName(QStringLiteral("ComPortLabel"));
  comPortLabel_->setMinimumWidth(140);
  comPortLabel_->setContentsMargins(8, 0, 0, 0);
  ToolBar1->addWidget(comPortLabel_);
  top->addWidget(ToolBar1);

  auto* body = new QWidget(this);
  auto* grid = new QGridLayout(body);

  auto* counters = new QGroupBox(QStringLiteral("401"), body);
  counters->setObjectName(QStringLiteral("GroupBox1"));
  auto* form = new QFormLayout(counters);
  send_ = Field(counters, "Send", QStringLiteral("0"));
  read_ = Field(counters, "Read", QStringLiteral("0"));
  edit2_ = Field(counters, "Edit2", QStringLiteral("0"));
  form->addRow(QStringLiteral("Send"), send_);
  form->addRow(QStringLiteral("Read"), read_);
  form->addRow(QStringLiteral("Timeouts"), edit2_);
  timeout_ = new QSpinBox(counters);
  timeout_->setObjectName(QStringLiteral("SpinEdit1"));
  timeout_->setRange(200, 10000);
  timeout_->setSingleStep(100);
  timeout_->setValue(line_.LineTimeout());
  form->addRow(QStringLiteral("-Timeout(N,TIMER msec)"), timeout_);
  auto* leds = new QWidget(counters);
  auto* ledRow = new QHBoxLayout(leds);
  ledRow->setContentsMargins(0, 0, 0, 0);
  qelLineLed_ = new TLinkPanel(leds);
  qelLineLed_->setObjectName(QStringLiteral("qel_line_led"));
  qelLineLed_->setCursor(Qt::ArrowCursor);
  syncLed_ = new TLinkPanel(leds);
  syncLed_->setObjectName(QStringLiteral("sync_led"));
  syncLed_->setCursor(Qt::ArrowCursor);
  ledRow->addWidget(qelLineLed_);
  ledRow->addWidget(new QLabel(QStringLiteral("line"), leds));
  ledRow->addSpacing(12);
  ledRow->addWidget(syncLed_);
  ledRow->addWidget(new QLabel(QStringLiteral("sync"), leds));
  ledRow->addStretch(1);
  form->addRow(leds);

  auto* requests = new QGroupBox(QStringLiteral("Test"), body);
  requests->setObjectName(QStringLiteral("GroupBox2"));
  auto* rg = new QGridLayout(requests);
  auto* restart = Button(requests, "RestartButton", QStringLiteral("Restart"));
  auto* ulvReset = Button(requests, "UlvResetButton", QStringLiteral("UlvReset"));
  auto* f100 = Button(requests, "F100Button", QStringLiteral("F1 00"));
  auto* gruppe = Button(requests, "GruppeButton", QStringLiteral("Gruppe"));
  auto* enable = Button(requests, "EnableButton", QStringLiteral(" enable"));
  auto* f101 = Button(requests, "F101Button", QStringLiteral("F101"));
  auto* sysMod = Button(requests, "SysModButton", QStringLiteral("SysMod(401x)"));
  sysMod->setEnabled(false);
  for (QPushButton* b : {restart, ulvReset, f100, gruppe}) b->setEnabled(false);
  inqueue_ = Field(requests, "inqueue");
  message_ = Field(requests, "Message");
  rg->addWidget(enable, 0, 0);
  rg->addWidget(restart, 0, 1);
  rg->addWidget(ulvReset, 0, 2);
  rg->addWidget(f100, 1, 0);
  rg->addWidget(gruppe, 1, 1);
  rg->addWidget(inqueue_, 1, 2);
  rg->addWidget(f101, 2, 0);
  rg->addWidget(message_, 2, 1, 1, 2);
  rg->addWidget(sysMod, 3, 0);

  grid->addWidget(counters, 0, 0);
  grid->addWidget(requests, 0, 1);
  grid->setColumnStretch(2, 1);
  grid->setRowStretch(1, 1);
  top->addWidget(body, 1);

  connect(closeBtn, &QToolButton::clicked, this, [this] { hide(); });
  connect(onTop, &QCheckBox::toggled, this, [this](bool on) {
    QWidget* w = window();
    w->setWindowFlag(Qt::WindowStaysOnTopHint, on);
    w->show();
  });
  connect(timeout_, &QSpinBox::valueChanged, this, [this](int v) { line_.SetLineTimeout(v); });
  connect(enable, &QPushButton::clicked, this, [restart, ulvReset, f100, gruppe] {
    for (QPushButton* b : {restart, ulvReset, f100, gruppe}) b->setEnabled(true);
  });
  connect(restart, &QPushButton::clicked, this, [this] { line_.Restart(); });
  connect(ulvReset, &QPushButton::clicked, this, [this] { SendTest(QByteArray::fromHex("F110"), 0); });
  connect(f100, &QPushButton::clicked, this, [this] { SendTest(QByteArray::fromHex("F100"), 2); });
  connect(gruppe, &QPushButton::clicked, this, [this] { SendTest(QByteArray::fromHex("C100"), 2); });
  connect(f101, &QPushButton::clicked, this, [this] {
    QPointer<QLineEdit> message = message_;
    utils_.ReadVersionText([message](const QString& text) {
      if (message) message->setText(text);
    });
  });

  line_.WindowLamp = link_led;
  countersTimer_->SetSingleShot(true);
  countersTimer_->OnTimeout = [this] { ShowCounters(); };
  line_.OnCountersChanged = [this] {
    if (!countersTimer_->IsActive()) countersTimer_->Start(kCountersMs);
  };
  line_.OnLineLed = [this](uint32_t color) { qelLineLed_->SetColor(color); };
  line_.OnPortLabel = [this](const QString& text) { comPortLabel_->setText(text); };
  ShowCounters();
}

TQel_Form::~TQel_Form() {
  if (line_.WindowLamp == link_led) line_.WindowLamp = nullptr;
  line_.OnCountersChanged = nullptr;
  line_.OnLineLed = nullptr;
  line_.OnPortLabel = nullptr;
}

void TQel_Form::ShowCounters() {
  send_->setText(QString::number(line_.SendCount()));
  read_->setText(QString::number(line_.ReadCount()));
  edit2_->setText(QString::number(line_.TimeoutCount()));
}

void TQel_Form::SendTest(const QByteArray& request, int replyLength) {
  QPointer<TQel_Form> self = this;
  transfers_.AddTransfer(request, replyLength, [self](const QByteArray& reply) {
    if (self) self->ShowReply(reply);
  });
}

void TQel_Form::ShowReply(const QByteArray& reply) {
  const uint8_t b0 = ReplyByte(reply, 0);
  const uint8_t b1 = ReplyByte(reply, 1);
  inqueue_->setText(HexByte(b0) + HexByte(b1));
  if (b0 == 0xF1 && b1 == 0x01) syncLed_->SetColor(clGreen);
}

void TQel_Form::closeEvent(QCloseEvent* event) {
  event->ignore();
  hide();
}

}  // namespace ulv
