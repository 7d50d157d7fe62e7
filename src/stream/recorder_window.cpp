#include "stream/recorder_window.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "link/fixed_font_widget.h"
#include "link/link_panel_widget.h"
#include "link/tool_bar_widget.h"

namespace ulv {

namespace {

constexpr int kMemoBatchMs = 50;
// A whole 65,535-entry fetch with its head stays in the memo.
constexpr int kMemoLines = 70000;

QString LedStyle(Led led) {
  switch (led) {
    case Led::Yellow:
      return QStringLiteral("background-color: yellow; border: 1px solid gray;");
    case Led::Green:
      return QStringLiteral("background-color: lime; border: 1px solid gray;");
    case Led::Red:
      return QStringLiteral("background-color: red; border: 1px solid gray;");
    case Led::Off:
      break;
  }
  return QStringLiteral("background-color: silver; border: 1px solid gray;");
}

QStringList MemoLines(const QPlainTextEdit* memo) {
  const QString text = memo->toPlainText();
  return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

}  // namespace

TForm14::TForm14(StreamRecorder& recorder, QWidget* parent) : QWidget(parent), recorder_(recorder) {
  setObjectName(QStringLiteral("Form14"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  toolBar_ = new QToolBar(QStringLiteral("Tarvo 2.1.1"), this);
  toolBar_->setObjectName(QStringLiteral("ToolBar1"));
  auto* title = new QLabel(QStringLiteral("Tarvo 2.1.1"), toolBar_);
  title->setObjectName(QStringLiteral("ToolBarCaption"));
  toolBar_->addWidget(title);
  connect(AddButton(toolBar_, "BitBtn2", QStringLiteral("S&chließen"), QStringLiteral("Tarvo schliessen")),
          &QToolButton::clicked, this, &QWidget::hide);
  connect(AddButton(toolBar_, "BitBtn3", QStringLiteral("Transfer Data"), QString()), &QToolButton::clicked, this,
          &TForm14::BitBtn3Click);
  layout->addWidget(toolBar_);

  auto* controls = new QWidget(this);
  auto* row = new QHBoxLayout(controls);
  row->setContentsMargins(4, 4, 4, 4);

  // Interface state and link lamp.
  auto* iface = new QWidget(controls);
  auto* ifaceLayout = new QVBoxLayout(iface);
  ifaceLayout->setContentsMargins(0, 0, 0, 0);
  linkLed_ = new TLinkPanel(iface);
  linkLed_->setObjectName(QStringLiteral("Link_Led"));
  ifaceLayout->addWidget(linkLed_);
  interfaceButton_ = AddButton(iface, "InterfaceButton", QString(), QString());
  connect(interfaceButton_, &QToolButton::clicked, this, &TForm14::InterfaceButtonClick);
  row->addWidget(iface);

  // Channels "SYS-4".
  auto* sys4 = new QGroupBox(QStringLiteral("SYS-4"), controls);
  sys4->setObjectName(QStringLiteral("GroupBox1"));
  sys4->setLayout(new QHBoxLayout);
  static const char* const kHints[] = {"TA", "RD", "KB", "Einfahrt", "Panic", "Timer"};
  for (int i = 0; i < 6; ++i) {
    const QByteArray name = "Bit" + QByteArray::number(i);
    bits_[static_cast<size_t>(i)] =
        AddButton(sys4, name.constData(), QString::number(i), QString::fromUtf8(kHints[i]), true);
    connect(bits_[static_cast<size_t>(i)], &QToolButton::toggled, this,
            [this, i](bool on) { recorder_.SetChannel(i, on); });
  }
  connect(AddButton(sys4, "BitBtn1", QStringLiteral("Alle"), QStringLiteral("Alle Kanäle ein/aus")),
          &QToolButton::clicked, this, [this] { recorder_.ToggleAll(); });
  row->addWidget(sys4);

  // "Run State".
  auto* runState = new QGroupBox(QStringLiteral("Run State"), controls);
  runState->setObjectName(QStringLiteral("GroupBox3"));
  runState->setLayout(new QHBoxLayout);
  const auto linked = [this](QToolButton* b) {
    linkedButtons_.push_back(b);
    return b;
  };
  connect(linked(AddButton(runState, "RunButton", QStringLiteral("Run"), QString())), &QToolButton::clicked,
          this, [this] { recorder_.Run(); });
  connect(linked(AddButton(runState, "StopButton", QStringLiteral("Stop"), QString())), &QToolButton::clicked,
          this, [this] { recorder_.Stop(); });
  connect(linked(AddButton(runState, "h_Button", QStringLiteral("Header"), QString())), &QToolButton::clicked,
          this, [this] { recorder_.Header(); });
  connect(linked(AddButton(runState, "IntervallButton", QStringLiteral("Intervall"),
                           QStringLiteral("Hole Header periodisch"))),
          &QToolButton::clicked, this, [this] { recorder_.ToggleInterval(); });
  connect(linked(AddButton(runState, "ReWriteButton", QStringLiteral("ReWrite"),
                           QStringLiteral("Ulv Stream Neustart und setzt sys4"))),
          &QToolButton::clicked, this, [this] { recorder_.ReWrite(); });
  row->addWidget(runState);

  // Header fields.
  auto* header = new QWidget(controls);
  auto* grid = new QGridLayout(header);
  grid->setContentsMargins(0, 0, 0, 0);
  hLed_ = AddLabel(header, "h_LED");
  openLed_ = AddLabel(header, "open_LED");
  stopLed_ = AddLabel(header, "stop_LED");
  for (QLabel* led : {hLed_, openLed_, stopLed_}) led->setFixedSize(14, 14);
  size_ = AddLabel(header, "h_Size");
  openDate_ = AddLabel(header, "h_opendate");
  openTime_ = AddLabel(header, "h_opentime");
  count_ = AddLabel(header, "h_Count");
  wrap_ = AddLabel(header, "h_Wrap");
  grid->addWidget(hLed_, 0, 0);
  grid->addWidget(size_, 0, 1);
  grid->addWidget(openLed_, 1, 0);
  grid->addWidget(openDate_, 1, 1);
  grid->addWidget(openTime_, 1, 2);
  grid->addWidget(stopLed_, 2, 0);
  grid->addWidget(count_, 2, 1);
  grid->addWidget(wrap_, 2, 2);
  row->addWidget(header);

  // Capture file.
  fileBox_ = new QGroupBox(controls);
  fileBox_->setObjectName(QStringLiteral("GroupBox2"));
  auto* fileLayout = new QHBoxLayout(fileBox_);
  connect(AddButton(fileBox_, "SpeedButton2", QStringLiteral("0"), QString()), &QToolButton::clicked, this,
          [this] { recorder_.ZeroFileNumber(); });
  edit3_ = new QLineEdit(fileBox_);
  edit3_->setObjectName(QStringLiteral("Edit3"));
  edit3_->setMinimumWidth(180);
  fileLayout->addWidget(edit3_);
  connect(edit3_, &QLineEdit::textEdited, this, [this](const QString& text) { recorder_.SetFileName(text); });
  connect(linked(AddButton(fileBox_, "SpeedButton1", QStringLiteral("++"), QStringLiteral("Neuer Filename"))),
          &QToolButton::clicked, this, [this] { recorder_.NextFileNumber(); });
  fetchButton_ = linked(AddButton(fileBox_, "FetchButton", QStringLiteral("holen"),
                                  QStringLiteral("Hole und speichere Ulv Stream"), true));
  connect(fetchButton_, &QToolButton::clicked, this, [this] {
    recorder_.Fetch();
    ShowView();  // the button stays down only while a fetch runs
  });
  fetch_ = AddLabel(fileBox_, "Fetch");
  connect(linked(AddButton(fileBox_, "SpeedButton3", QStringLiteral("Stop"), QStringLiteral("stoppt (holen)"))),
          &QToolButton::clicked, this, [this] { recorder_.StopFetch(); });
  row->addWidget(fileBox_, 1);
  layout->addWidget(controls);

  memo_ = new QPlainTextEdit(this);
  memo_->setObjectName(QStringLiteral("Memo1"));
  memo_->setFont(FixedPitchFont());
  memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo_->setUndoRedoEnabled(false);
  memo_->setMaximumBlockCount(kMemoLines);
  layout->addWidget(memo_, 1);

  // Entries come three to a reply: the memo takes them in batches, so a
  // long fetch does not re-lay the document for every line.
  memoTimer_ = new QTimer(this);
  memoTimer_->setSingleShot(true);
  memoTimer_->setInterval(kMemoBatchMs);
  connect(memoTimer_, &QTimer::timeout, this, &TForm14::FlushMemo);

  QPointer<TForm14> self(this);
  recorder_.OnViewChanged = [self] {
    if (self) self->ShowView();
  };
  recorder_.OnMemoClear = [self] {
    if (!self) return;
    self->pending_.clear();
    self->memo_->clear();
  };
  recorder_.OnMemoLines = [self](const QStringList& lines) {
    if (!self) return;
    self->pending_ << lines;
    if (!self->memoTimer_->isActive()) self->memoTimer_->start();
  };
  recorder_.OnFileError = [self](const QString& message) {
    if (self && self->Dialogs.FileError) self->Dialogs.FileError(self, message);
  };
  linkLed_->OnLink = [self](LinkLamp*, bool up) {
    if (self) self->recorder_.SetLinked(up);
  };
  ShowView();
}

TForm14::~TForm14() {
  recorder_.OnViewChanged = nullptr;
  recorder_.OnMemoClear = nullptr;
  recorder_.OnMemoLines = nullptr;
  recorder_.OnFileError = nullptr;
}

QToolButton* TForm14::AddButton(QWidget* parent, const char* name, const QString& caption, const QString& hint,
                                bool checkable) {
  QToolButton* button = AddTextButton(parent, name, caption, hint);
  button->setCheckable(checkable);
  return button;
}

QLabel* TForm14::AddLabel(QWidget* parent, const char* name) {
  auto* label = new QLabel(parent);
  label->setObjectName(QLatin1String(name));
  if (parent->layout() && !qobject_cast<QGridLayout*>(parent->layout())) parent->layout()->addWidget(label);
  return label;
}

void TForm14::ShowView() {
  const RecorderView& v = recorder_.View();
  interfaceButton_->setText(v.interfaceCaption);
  hLed_->setStyleSheet(LedStyle(v.hLed));
  openLed_->setStyleSheet(LedStyle(v.openLed));
  stopLed_->setStyleSheet(LedStyle(v.stopLed));
  size_->setText(v.size);
  openDate_->setText(v.openDate);
  openTime_->setText(v.openTime);
  count_->setText(v.count);
  wrap_->setText(v.wrap);
  fetch_->setText(v.fetch);
  fileBox_->setTitle(v.fileCaption);
  if (edit3_->text() != v.fileName) edit3_->setText(v.fileName);
  edit3_->setToolTip(v.filePath);
  for (size_t i = 0; i < bits_.size(); ++i) {
    const QSignalBlocker block(bits_[i]);
    bits_[i]->setChecked((v.mask >> i) & 1);
  }
  fetchButton_->setChecked(v.fetching);
  for (QToolButton* b : linkedButtons_) b->setEnabled(v.linked);
  if (!v.fetching) FlushMemo();
}

void TForm14::FlushMemo() {
  memoTimer_->stop();
  if (pending_.isEmpty()) return;
  memo_->appendPlainText(pending_.join(QLatin1Char('\n')));
  pending_.clear();
}

void TForm14::StartRecorder(LinkState& link) {
  link.RegisterLinkLed(linkLed_);
  recorder_.Start();
}

void TForm14::InterfaceButtonClick() {
  recorder_.InterfaceClick();
  if (linkLed_->OnClickHook) linkLed_->OnClickHook();
}

void TForm14::BitBtn3Click() {
  FlushMemo();
  if (TransferDataHook) TransferDataHook(MemoLines(memo_));
}

}  // namespace ulv
