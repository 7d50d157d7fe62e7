#include "app/ini_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTextCursor>
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

  auto* portRow = new QWidget(this);
  portRow->setObjectName(QStringLiteral("PortRow"));
  auto* row = new QHBoxLayout(portRow);
  row->setContentsMargins(4, 2, 4, 2);
  row->addWidget(new QLabel(QStringLiteral("Schnittstelle"), portRow));
  ComNumberBox = new QComboBox(portRow);
  ComNumberBox->setObjectName(QStringLiteral("ComNumberBox"));
  for (int n = 1; n <= 4; ++n) ComNumberBox->addItem(QStringLiteral("COM%1").arg(n));
  row->addWidget(ComNumberBox);
  ComDeviceBox = new QComboBox(portRow);
  ComDeviceBox->setObjectName(QStringLiteral("ComDeviceBox"));
  ComDeviceBox->setEditable(true);
  ComDeviceBox->setInsertPolicy(QComboBox::NoInsert);
  ComDeviceBox->setToolTip(QStringLiteral("/dev/serial/by-id: der Name bleibt beim Umstecken gleich; "
                                          "jeder andere Pfad kann eingegeben werden"));
  row->addWidget(ComDeviceBox, 1);
  enterButton_ = new QToolButton(portRow);
  enterButton_->setObjectName(QStringLiteral("ComEnterButton"));
  enterButton_->setText(QStringLiteral("Eintragen"));
  row->addWidget(enterButton_);
  // Device paths line up like the configuration text below them.
  for (QComboBox* box : {ComNumberBox, ComDeviceBox}) box->setFont(FixedPitchFont(13));
  top->addWidget(portRow);

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
  connect(ComNumberBox, &QComboBox::currentIndexChanged, this, [this] { ShowComDevice(); });
  connect(enterButton_, &QToolButton::clicked, this, [this] { EnterComDevice(); });
}

void Tini_form::RefreshPorts() {
  ComDeviceBox->clear();
  for (const SerialDevice& d : PortDoctor(PortRoots).Devices()) {
    for (const QString& id : d.byId) {
      ComDeviceBox->addItem(id);
      ComDeviceBox->setItemData(ComDeviceBox->count() - 1,
                                QStringLiteral("%1 %2 %3").arg(d.path, d.manufacturer, d.product).simplified(),
                                Qt::ToolTipRole);
    }
  }
  ShowComDevice();
}

void Tini_form::ShowComDevice() {
  // As the text stands, saved or not.
  IniStore text;
  text.LoadFromBytes(Memo1->toPlainText().toUtf8());
  const int n = ComNumberBox->currentIndex() + 1;
  const QString key = QStringLiteral("com%1").arg(n);
  const QString section = QStringLiteral("comport");
  ComDeviceBox->setEditText(text.HasKey(section, key) ? text.Value(section, key) : config_.ComDevice(n));
}

bool Tini_form::EnterComDevice() {
  const QString typed = ComDeviceBox->currentText().trimmed();
  if (!canSave_ || typed.isEmpty()) return false;
  const QString device = PortDoctor(PortRoots).StableName(typed);
  ComDeviceBox->setEditText(device);
  const QString before = Memo1->toPlainText();
  const QString after = IniStore::SetValueInText(before, QStringLiteral("comport"),
                                                 QStringLiteral("com%1").arg(ComNumberBox->currentIndex() + 1), device);
  if (after != before) {
    // One edit of the text, so that Undo takes it back.
    QTextCursor all(Memo1->document());
    all.select(QTextCursor::Document);
    all.insertText(after);
  }
  return Sichern();
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
  ComDeviceBox->setEnabled(canSave_);
  enterButton_->setEnabled(canSave_);
  RefreshPorts();
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
