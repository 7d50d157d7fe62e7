#include "records/error_log_window.h"

#include <QDir>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "common/save_file.h"
#include "link/fixed_font_widget.h"
#include "link/tool_bar_widget.h"

namespace ulv {

namespace {
const QString kQuestionTitle = QStringLiteral("Sichern");

QStringList MemoLines(const QPlainTextEdit* memo) {
  const QString text = memo->toPlainText();
  return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}
}  // namespace

TForm4::TForm4(ErrorLogReader& reader, QWidget* parent) : QWidget(parent), reader_(reader) {
  setObjectName(QStringLiteral("Form4"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  toolBar_ = new QToolBar(this);
  toolBar_->setObjectName(QStringLiteral("ToolBar1"));
  connect(AddButton("CloseButton", QStringLiteral("Schliessen"), QString()), &QToolButton::clicked, this,
          &TForm4::CloseButtonClick);
  connect(AddButton("HolenButton", QStringLiteral("holen"),
                    QStringLiteral("Fehlerspeicher von der Steuerung holen")),
          &QToolButton::clicked, this, &TForm4::HolenButtonClick);
  gauge_ = new QProgressBar(toolBar_);
  gauge_->setObjectName(QStringLiteral("Gauge1"));
  gauge_->setRange(0, 1);
  gauge_->setValue(0);
  gauge_->setTextVisible(false);
  gauge_->setMaximumWidth(160);
  gauge_->setStyleSheet(QStringLiteral("QProgressBar::chunk { background-color: blue; }"));
  toolBar_->addWidget(gauge_);
  connect(AddButton("BitBtn1", QStringLiteral("HEX"),
                    QStringLiteral("dekodiert Fehler zusätzlich als Hexbytes...")),
          &QToolButton::clicked, this, &TForm4::BitBtn1Click);
  connect(AddButton("SaveButton", QStringLiteral("Sichern"), QStringLiteral("angezeigte Seite sichern")),
          &QToolButton::clicked, this, &TForm4::SaveButtonClick);
  connect(AddButton("BitBtn2", QStringLiteral("Transfer Daten"),
                    QStringLiteral("Daten in die ALLES Seite kopieren")),
          &QToolButton::clicked, this, &TForm4::BitBtn2Click);
  connect(AddButton("DeleteButton", QStringLiteral("Löschen"),
                    QStringLiteral("Fehler Speicher in der Steuerung löschen")),
          &QToolButton::clicked, this, &TForm4::DeleteButtonClick);
  layout->addWidget(toolBar_);

  memo_ = new QPlainTextEdit(this);
  memo_->setObjectName(QStringLiteral("Memo1"));
  memo_->setFont(FixedPitchFont());
  memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
  // The program appends to it with every read: no undo history for its lines,
  // and a bound on how many it keeps over a long run.
  memo_->setUndoRedoEnabled(false);
  memo_->setMaximumBlockCount(10000);
  memo_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  layout->addWidget(memo_, 1);

  QPointer<TForm4> self(this);
  reader_.OnProgress = [self](int value, int maximum) {
    if (!self) return;
    self->gauge_->setRange(0, maximum > 0 ? maximum : 1);
    self->gauge_->setValue(value);
  };
  reader_.OnCaptionChanged = [self] {
    if (self) self->ShowCaption();
  };
  reader_.OnFileError = [self](const QString& message) {
    if (self && self->Dialogs.FileError) self->Dialogs.FileError(self, message);
  };
}

TForm4::~TForm4() {
  reader_.OnProgress = nullptr;
  reader_.OnCaptionChanged = nullptr;
  reader_.OnFileError = nullptr;
}

QToolButton* TForm4::AddButton(const char* name, const QString& caption, const QString& hint) {
  return AddTextButton(toolBar_, name, caption, hint);
}

void TForm4::SetToolButtonHeight(int height) { SetToolButtonHeights(toolBar_, height); }

void TForm4::SetStatus(int state) { reader_.SetStatus(state); }

void TForm4::ShowCaption() { setWindowTitle(reader_.CaptionText()); }

void TForm4::AddLine(const QString& line) {
  // Only typing counts as a change of the list.
  const bool modified = memo_->document()->isModified();
  memo_->appendPlainText(line);
  memo_->document()->setModified(modified);
}

void TForm4::HolenButtonClick() {
  QPointer<TForm4> self(this);
  reader_.StartRead([self](const QString& line) {
    if (self) self->AddLine(line);
  });
}

void TForm4::BitBtn1Click() {
  QString error;
  if (!reader_.HexListing(&error) && Dialogs.FileError) Dialogs.FileError(this, error);
}

bool TForm4::SaveButtonClick() {
  QString text;
  for (const QString& line : MemoLines(memo_)) text += line + QStringLiteral("\r\n");
  if (!Dialogs.SaveFile(this, Dokudir ? Dokudir() : QString(), QStringLiteral("Fehler.txt"),
                        QStringLiteral("Ulv Fehlerdateien (*.txt)"), text.toUtf8()))
    return false;
  memo_->document()->setModified(false);
  return true;
}

void TForm4::CloseButtonClick() {
  if (memo_->document()->isModified() && Dialogs.Question &&
      Dialogs.Question(this, kQuestionTitle, QStringLiteral("Änderung sichern ?"),
                       QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok)
    SaveButtonClick();
  hide();
  memo_->clear();
  memo_->document()->setModified(false);
}

void TForm4::BitBtn2Click() {
  if (TransferDataHook) TransferDataHook(MemoLines(memo_));
}

void TForm4::DeleteButtonClick() {
  const ErrorCatalogue& catalogue = reader_.Catalogue();
  const QString yes = catalogue.CatalogueText(QStringLiteral("_JA_"));
  QString answer = yes;
  if (!Dialogs.InputText ||
      !Dialogs.InputText(this, catalogue.CatalogueText(QStringLiteral("_FEHLER_")),
                         catalogue.CatalogueText(QStringLiteral("_LOESCHEN_")), &answer))
    return;
  if (answer == yes) reader_.DeleteErrorLog();
}

}  // namespace ulv
