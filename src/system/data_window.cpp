#include "system/data_window.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "common/save_file.h"
#include "link/fixed_font_widget.h"
#include "link/tool_bar_widget.h"

namespace ulv {

namespace {
const QString kQuestionTitle = QStringLiteral("Sichern");
}  // namespace

TForm9::TForm9(DataReport& report, const Clock& clock, QWidget* parent)
    : QWidget(parent), report_(report), clock_(clock) {
  setObjectName(QStringLiteral("Form9"));
  setWindowTitle(QStringLiteral("Data"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  toolBar_ = new QToolBar(this);
  toolBar_->setObjectName(QStringLiteral("ToolBar10"));
  auto* image = new QLabel(toolBar_);
  image->setObjectName(QStringLiteral("Image1"));
  toolBar_->addWidget(image);
  connect(AddButton("CloseButton", QStringLiteral("Schliessen")), &QToolButton::clicked, this,
          &TForm9::CloseButtonClick);
  connect(AddButton("SaveButton", QStringLiteral("Sichern")), &QToolButton::clicked, this,
          &TForm9::SaveButtonClick);
  toolBar_->addSeparator();
  connect(AddButton("AllesButton", QStringLiteral("Alles"), QStringLiteral("alle anderen...")),
          &QToolButton::clicked, this, &TForm9::AllesButtonClick);
  connect(AddButton("VersionButton", QStringLiteral("Version")), &QToolButton::clicked, this,
          &TForm9::VersionButtonClick);
  using R = DataReport::Record;
  const struct {
    const char* name;
    const char* caption;
    R record;
  } records[] = {{"ShaftButton", "Shaft", R::Shaft},           {"MonBlockButton", "MonBlck", R::MonBlock},
                 {"SysPermButton", "SysPerm", R::SysPerm},     {"SysVarButton", "SysVar", R::SysVar},
                 {"ShiftStatButton", "Shift-Status", R::ShiftStatus}, {"IOPortsButton", "i/o Port", R::IoPorts},
                 {"PortsButton", "Ports", R::Ports}};
  for (const auto& r : records) {
    const R record = r.record;
    connect(AddButton(r.name, QString::fromLatin1(r.caption)), &QToolButton::clicked, this,
            [this, record] { report_.Press(record); });
  }
  connect(AddButton("CallsButton", QStringLiteral("CALLS-MAP")), &QToolButton::clicked, this,
          &TForm9::CallsButtonClick);
  layout->addWidget(toolBar_);

  memo_ = new QPlainTextEdit(this);
  memo_->setObjectName(QStringLiteral("Memo1"));
  memo_->setFont(FixedPitchFont(13));
  memo_->setTabStopDistance(QFontMetricsF(memo_->font()).horizontalAdvance(QLatin1Char(' ')) * 8);
  memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo_->setUndoRedoEnabled(false);
  memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  layout->addWidget(memo_, 1);

  // The context menu of the memo.
  memo_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(memo_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    QMenu menu(this);
    connect(menu.addAction(QStringLiteral("select all")), &QAction::triggered, memo_, &QPlainTextEdit::selectAll);
    connect(menu.addAction(QStringLiteral("copy")), &QAction::triggered, memo_, &QPlainTextEdit::copy);
    connect(menu.addAction(QStringLiteral("paste")), &QAction::triggered, memo_, &QPlainTextEdit::paste);
    connect(menu.addAction(QStringLiteral("clear")), &QAction::triggered, memo_, &QPlainTextEdit::clear);
    connect(menu.addAction(QStringLiteral("ins.date")), &QAction::triggered, this,
            [this] { AppendLines({QStringLiteral(" ") + clock_.NowText()}); });
    menu.exec(memo_->mapToGlobal(at));
  });

  QPointer<TForm9> self(this);
  report_.Output = [self](const QString& line) {
    if (self) self->AppendLines({line});
  };
}

TForm9::~TForm9() { report_.Output = nullptr; }

QToolButton* TForm9::AddButton(const char* name, const QString& caption, const QString& hint) {
  return AddTextButton(toolBar_, name, caption, hint);
}

void TForm9::SetToolButtonHeight(int height) { SetToolButtonHeights(toolBar_, height); }

QStringList TForm9::Lines() const {
  const QString text = memo_->toPlainText();
  return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

void TForm9::AppendLines(const QStringList& lines) {
  for (const QString& l : lines) memo_->appendPlainText(l);
  // Appended records are unsaved content as much as typed text.
  if (!lines.isEmpty()) memo_->document()->setModified(true);
}

void TForm9::CallsButtonClick() {
  report_.callsTitle = QStringLiteral("Calls-Map");
  report_.callsCount = 256;
  report_.Press(DataReport::Record::CallsMap);
}

bool TForm9::SaveButtonClick() {
  if (!Dialogs.SaveFile(this, Dokudir ? Dokudir() : QString(), QStringLiteral("Info.txt"),
                        QStringLiteral("INFO Datei (*.txt)"), InfoFileBytes(Lines())))
    return false;
  memo_->document()->setModified(false);
  return true;
}

void TForm9::CloseButtonClick() {
  report_.ClearChain();
  if (memo_->document()->isModified() && Dialogs.Question &&
      Dialogs.Question(this, kQuestionTitle, QStringLiteral("Änderung sichern ?"),
                       QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok &&
      !SaveButtonClick())
    return;  // the text was not written: it stays, and so does the window
  memo_->clear();
  memo_->document()->setModified(false);
  hide();
}

}  // namespace ulv
