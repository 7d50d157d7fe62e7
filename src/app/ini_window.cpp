#include "app/ini_window.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "common/save_file.h"
#include "link/fixed_font_widget.h"

namespace ulv {

Tini_form::Tini_form(Configuration& config, QWidget* parent) : QWidget(parent), config_(config) {
  setObjectName(QStringLiteral("ini_form"));
  setWindowTitle(QStringLiteral("IniFile"));
  auto* top = new QVBoxLayout(this);
  top->setContentsMargins(0, 0, 0, 0);
  top->setSpacing(0);

  ToolBar1 = new QToolBar(this);
  ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
  auto* closeBtn = new QToolButton(ToolBar1);
  closeBtn->setObjectName(QStringLiteral("CloseButton"));
  closeBtn->setText(QStringLiteral("Schliessen"));
  ToolBar1->addWidget(closeBtn);
  saveButton_ = new QToolButton(ToolBar1);
  saveButton_->setObjectName(QStringLiteral("BitBtn1"));
  saveButton_->setText(QStringLiteral("Sichern"));
  ToolBar1->addWidget(saveButton_);
  Panel1 = new QLabel(ToolBar1);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel1->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  ToolBar1->addWidget(Panel1);
  top->addWidget(ToolBar1);

  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setFont(FixedPitchFont(13));
  top->addWidget(Memo1, 1);

  AskSave = [this](const QString& title, const QString& text) {
    return QMessageBox::information(this, title, text, QMessageBox::Ok | QMessageBox::Cancel) ==
           QMessageBox::Ok;
  };
  ShowError = [this](const QString& title, const QString& text) { QMessageBox::warning(this, title, text); };

  connect(closeBtn, &QToolButton::clicked, this, [this] { Schliessen(); });
  connect(saveButton_, &QToolButton::clicked, this, [this] { Sichern(); });
}

void Tini_form::LoadFile() {
  Memo1->clear();
  canSave_ = false;
  const QString name = config_.IniFileName();
  Panel1->setText(QStringLiteral("   ") + name);
  if (name.isEmpty()) {
    Memo1->setPlainText(
        QStringLiteral("Keine Konfigurationsdatei gefunden: das Programm läuft mit den Voreinstellungen."));
    Memo1->setReadOnly(true);
  } else {
    // Values the program changed during the run go to the file first, so the
    // editor shows what is in use.
    QString error;
    const bool written = config_.SaveIfChanged(&error);
    QByteArray data;
    QString readError;
    if (!ReadWholeFile(name, &data, &readError)) {
      Memo1->setPlainText(QStringLiteral("Datei kann nicht gelesen werden: ") + readError);
      Memo1->setReadOnly(true);
    } else {
      const QString text = IniStore::DecodeText(data, &utf8_);
      Memo1->setReadOnly(false);
      Memo1->setPlainText(text);
      canSave_ = true;
      if (!written && ShowError) ShowError(QStringLiteral("IniFile"), error);
    }
  }
  saveButton_->setEnabled(canSave_);
  Memo1->document()->setModified(false);
}

bool Tini_form::Sichern() {
  if (!canSave_ || !Memo1->document()->isModified()) return false;
  if (!AskSave || !AskSave(QStringLiteral("IniFile geändert"), QStringLiteral("Änderung sichern ?")))
    return false;
  // Every line ends with CR LF, the last one too.
  QString text = Memo1->toPlainText();
  text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n'))) text += QStringLiteral("\r\n");
  // A Latin-1 file cannot hold every character typed: rather than turn them
  // into "?", the file becomes UTF-8 when the user agrees.
  const bool latin1Fits =
      std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= 0xFF; });
  if (!utf8_ && !latin1Fits) {
    if (!AskSave(QStringLiteral("IniFile"),
                 QStringLiteral("Die Datei ist Latin-1-kodiert und kann nicht alle eingegebenen Zeichen "
                                "aufnehmen. Als UTF-8 sichern ?")))
      return false;
    utf8_ = true;
  }
  const QByteArray bytes = utf8_ ? text.toUtf8() : text.toLatin1();
  QString error;
  if (!SaveWholeFile(config_.IniFileName(), bytes, &error)) {
    if (ShowError) ShowError(QStringLiteral("IniFile"), error);
    return false;
  }
  // The program now works with what the user saved, and writes that back at
  // its end.
  config_.Reload();
  return true;
}

void Tini_form::Schliessen() {
  if (Memo1->document()->isModified()) Sichern();
  hide();
}

bool Tini_form::event(QEvent* event) {
  if (event->type() == QEvent::ShowToParent) LoadFile();
  return QWidget::event(event);
}

void Tini_form::closeEvent(QCloseEvent* event) {
  event->ignore();
  Schliessen();
}

}  // namespace ulv
