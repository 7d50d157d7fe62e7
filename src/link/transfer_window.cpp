#include "link/transfer_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

namespace ulv {

namespace {

QLabel* Label(QWidget* parent, const char* name, const QString& text) {
  auto* l = new QLabel(text, parent);
  l->setObjectName(QLatin1String(name));
  return l;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& text) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(QLatin1String(name));
  b->setAutoDefault(false);
  return b;
}

}  // namespace

TSend::TSend(TransferQueue& queue, TimerFactory& timers, QWidget* parent)
    : QWidget(parent, Qt::Window), queue_(queue) {
  setObjectName(QStringLiteral("Send"));
  setWindowTitle(QStringLiteral("TransferListe"));

  auto* top = new QVBoxLayout(this);
  auto* grid = new QGridLayout();
  top->addLayout(grid);

  // Row 0: time-out and delay settings.
  grid->addWidget(new QLabel(QStringLiteral("Timeout"), this), 0, 0);
  timeout_ = new QSpinBox(this);
  timeout_->setObjectName(QStringLiteral("UpDown1"));
  timeout_->setRange(200, 10000);
  timeout_->setSingleStep(100);
  timeout_->setValue(8000);
  timeout_->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
  grid->addWidget(timeout_, 0, 1);
  interval_ = Label(this, "Interval", QStringLiteral("8000"));
  grid->addWidget(interval_, 0, 2);
  grid->addWidget(new QLabel(QStringLiteral("Delay"), this), 0, 3);
  delay_ = new QSpinBox(this);
  delay_->setObjectName(QStringLiteral("UpDown2"));
  delay_->setRange(10, 3000);
  delay_->setSingleStep(10);
  delay_->setValue(50);
  grid->addWidget(delay_, 0, 4);
  label9_ = Label(this, "Label9", QStringLiteral("50"));
  grid->addWidget(label9_, 0, 5);

  // Row 1: fill level and state.
  countLabel_ = Label(this, "CountLabel", QStringLiteral("0"));
  grid->addWidget(countLabel_, 1, 0);
  gauge1_ = new QProgressBar(this);
  gauge1_->setObjectName(QStringLiteral("Gauge1"));
  gauge1_->setRange(0, TransferQueue::kMaxEntries);
  gauge1_->setValue(0);
  grid->addWidget(gauge1_, 1, 1, 1, 2);
  gauge1_->setFormat(QStringLiteral("%v"));
  stoppedLabel_ = Label(this, "StoppedLabel", QStringLiteral("RUN"));
  grid->addWidget(stoppedLabel_, 1, 3);
  // Time-out countdown, transfer time of the last reply, overflow waits.
  qelTimeout_ = Label(this, "Qel_Timeout", QStringLiteral("0"));
  qelTimeout_->setToolTip(QStringLiteral("Timeout (ms)"));
  grid->addWidget(qelTimeout_, 1, 4);
  lDifferenz_ = Label(this, "LDifferenz", QStringLiteral("0"));
  lDifferenz_->setToolTip(QStringLiteral("Transferzeit (ms)"));
  grid->addWidget(lDifferenz_, 1, 5);
  label3_ = Label(this, "Label3", QStringLiteral("0"));
  label3_->setToolTip(QStringLiteral("MAX/STOPPED"));
  grid->addWidget(label3_, 1, 6);
  for (QLabel* l : {qelTimeout_, lDifferenz_, label3_}) {
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setMinimumWidth(44);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  }

  // Row 2: buttons.
  auto* buttons = new QHBoxLayout();
  auto* fill = Button(this, "FillButton", QStringLiteral("Fill"));
  auto* leeren = Button(this, "LeerenButton", QStringLiteral("Leeren"));
  auto* clear = Button(this, "ClearButton", QStringLiteral("Clear"));
  auto* onTop = Button(this, "StayOnTopButton", QStringLiteral("StayOnTop"));
  onTop->setCheckable(true);
  soTimeOut_ = Button(this, "SOTimeOutButton", QStringLiteral("SOTimeOut"));
  soTimeOut_->setCheckable(true);
  soTimeOut_->setToolTip(QStringLiteral("SendOnTimeout (0,0..)"));
  reportLocal_ = new QCheckBox(QStringLiteral("report lokal"), this);
  reportLocal_->setObjectName(QStringLiteral("ReportCheckBox"));
  for (QWidget* w : std::initializer_list<QWidget*>{fill, leeren, clear, onTop, soTimeOut_, reportLocal_})
    buttons->addWidget(w);
  buttons->addStretch(1);
  top->addLayout(buttons);

  // The local report.
  reportOut_ = new QLineEdit(this);
  reportOut_->setObjectName(QStringLiteral("ReportOut"));
  reportOut_->setReadOnly(true);
  reportIn_ = new QLineEdit(this);
  reportIn_->setObjectName(QStringLiteral("ReportIn"));
  reportIn_->setReadOnly(true);
  top->addWidget(reportOut_);
  top->addWidget(reportIn_);
  memo_ = new TraceMemo(timers, 2000, this);
  memo_->setObjectName(QStringLiteral("Memo1"));
  top->addWidget(memo_, 1);

  connect(timeout_, &QSpinBox::valueChanged, this, [this](int v) {
    queue_.SetTimeout(v);
    interval_->setText(QString::number(v));
  });
  connect(delay_, &QSpinBox::valueChanged, this, [this](int v) {
    queue_.SetDelayInterval(v);
    label9_->setText(QString::number(v));
  });
  connect(fill, &QPushButton::clicked, this,
          [this] { queue_.AddTransfer(QByteArray::fromHex("F3010203"), 1, [](const QByteArray&) {}); });
  connect(leeren, &QPushButton::clicked, this, [this] { queue_.FlushQueue(); });
  connect(clear, &QPushButton::clicked, this, [this] { memo_->ClearAll(); });
  connect(onTop, &QPushButton::toggled, this, [this](bool on) {
    const bool wasVisible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
    if (wasVisible) show();
  });
  connect(soTimeOut_, &QPushButton::toggled, this, [this](bool on) { queue_.SetSendOnTimeout(on); });
  connect(reportLocal_, &QCheckBox::toggled, this, [this](bool on) {
    queue_.SetReportLocal(on);
    ShowReportArea(on, on ? kHeightReport : kHeightSmall);
  });

  queue_.SetTimeout(timeout_->value());
  queue_.SetDelayInterval(delay_->value());
  queue_.OnStateChanged = [this] { ShowState(); };
  queue_.OnLogLine = [this](bool sent, const QString& line) { LogLine(sent, line); };

  const bool report = reportLocal_->isChecked();
  ShowReportArea(report, report ? kHeightReportAtStart : kHeightSmall);
  PlaceAtTopRight();
  ShowState();
}

TSend::~TSend() {
  queue_.OnStateChanged = nullptr;
  queue_.OnLogLine = nullptr;
}

void TSend::ShowReportArea(bool on, int height) {
  // Without the local report the window shows only its controls.
  reportOut_->setVisible(on);
  reportIn_->setVisible(on);
  memo_->setVisible(on);
  layout()->activate();
  resize(qMax(kWidth, minimumSizeHint().width()), qMax(height, minimumSizeHint().height()));
}

void TSend::PlaceAtTopRight() {
  const QScreen* s = QGuiApplication::primaryScreen();
  if (!s) return;
  const QRect desk = s->availableGeometry();
  move(desk.x() + desk.width() - width() - 10, desk.y() + 10);
}

void TSend::ShowState() {
  const int n = queue_.Count();
  countLabel_->setText(QString::number(n));
  gauge1_->setValue(qMin(n, TransferQueue::kMaxEntries));
  stoppedLabel_->setText(queue_.StateText());
  qelTimeout_->setText(QString::number(queue_.LineCountdown()));
  lDifferenz_->setText(QString::number(queue_.LastTransferTime()));
  label3_->setText(QString::number(queue_.WaitCount()));
  const QSignalBlocker block(soTimeOut_);
  soTimeOut_->setChecked(queue_.SendOnTimeout());
}

void TSend::LogLine(bool sent, const QString& line) {
  (sent ? reportOut_ : reportIn_)->setText(line);
  memo_->AppendLine(line);
}

void TSend::closeEvent(QCloseEvent* event) {
  event->ignore();
  hide();
}

}  // namespace ulv
