#include "diag/firmware_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRadioButton>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "link/fixed_font_widget.h"
#include "link/link_panel_widget.h"
#include "link/tool_bar_widget.h"

namespace ulv {

namespace {

QToolButton* ToolButton(QToolBar* bar, const char* name, const char* text) {
  return AddTextButton(bar, name, QString::fromUtf8(text));
}

QLineEdit* BarField(QToolBar* bar, const char* name, const char* text) {
  auto* e = new QLineEdit(QString::fromUtf8(text), bar);
  e->setObjectName(QLatin1String(name));
  e->setReadOnly(true);
  e->setFixedWidth(140);
  bar->addWidget(e);
  return e;
}

// The firmware's data area as its developers declared it.
const char* const kReference[] = {
    " Zeradere Fw 2.0,  Datenbereich im XRAM  ",
    " 22.05.00 3.70.06/636",
    "",
    "typedef struct {",
    "  int   _magic;        /* 0 */",
    "  int   _true;         /* 2 */",
    "  byte  _histerese;    /* 4 version */",
    "  byte  _io_priotur;   /* 5 buffer for priority outside */",
    "  byte  _io_prioetg;   /* 6 buffer for priority outside */",
    "  byte  _io_BrandFall; /* 7 */",
    "  word  outptr;        /* 8 pointer used for the transfer */",
    "  sys_t _sysvar;       /* 10 */",
    "  sonder_t _sonder;    /* 32 */",
    "} hkfw_t;",
    "",
    "typedef struct {",
    "  byte status, fahrt, art, etage, richtung, moc, ziel;",
    "} sonder_t;",
    "  sPARK 0x01  sAAUS 0x02  sWSTOP 0x04  sBRAND 0x08",
    "  sPRIOI 0x10  sPRIOA 0x20  sMOC 0x80",
    "  saPARK = sPARK          saAAUS = sAAUS + sMOC",
    "  saWSTOP = sWSTOP        saBRAND = sBRAND + sMOC",
    "  saPRIO_I = sPRIOI + sMOC  saPRIO_A = sPRIOA + sMOC",
    "",
    "typedef struct {",
    "  byte mocx;        /* 0 */",
    "  byte moc;         /* 1 */",
    "  byte richtung;    /* 2 */",
    "  byte modus;       /* 3 */",
    "  byte flags;       /* 4 */",
    "  byte nhorder;     /* 5 */",
    "  byte nhreply;     /* 6 */",
    "  byte kopflg;      /* 7 */",
    "  word adrsperren;  /* 8 */",
    "  word lsutest;     /* 10 lsuMAGIC 0x55AA */",
    "  byte feuerwehr;   /* 12 */",
    "  byte prioetg;     /* 13 */",
    "  word prioanf;     /* 14 */",
    "  byte priotur;     /* 16 */",
    "  byte koreafm;     /* 17 */",
    "  byte gongfilter;  /* 18 */",
    "  byte ss_timer;    /* 19 */",
    "  byte dynahyd;     /* 20 */",
    "  byte flags1;      /* 21 */",
    "} sys_t;",
};

}  // namespace

TForm1::TForm1(FirmwareView& view, QWidget* parent) : QWidget(parent), view_(view) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Zeradere Fw 2.0"));
  ShowMessage = [this](const QString& text) { QMessageBox::warning(this, QString(), text); };
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  auto* bar1 = new QToolBar(this);
  bar1->setObjectName(QStringLiteral("ToolBar1"));
  auto* close = ToolButton(bar1, "CloseButton", "S&chließen");
  close->setToolTip(QStringLiteral("Tarvo schliessen"));
  readButton_ = ToolButton(bar1, "ReadButton", "Read");
  readButton_->setEnabled(false);
  checkBox1_ = new QCheckBox(QStringLiteral("Intervall"), bar1);
  checkBox1_->setObjectName(QStringLiteral("CheckBox1"));
  bar1->addWidget(checkBox1_);
  auto* xram = new QRadioButton(QStringLiteral("XRAM"), bar1);
  xram->setObjectName(QStringLiteral("XRAM"));
  xram->setChecked(true);
  bar1->addWidget(xram);
  ram_ = new QRadioButton(QStringLiteral("RAM"), bar1);
  ram_->setObjectName(QStringLiteral("RAM"));
  bar1->addWidget(ram_);
  bar1->addWidget(new QLabel(QStringLiteral("ONLINE"), bar1));
  linkLed_ = new TLinkPanel(bar1);
  linkLed_->setObjectName(QStringLiteral("Link_Led"));
  bar1->addWidget(linkLed_);
  errorDisplay_ = BarField(bar1, "ErrorDisplay", "");
  errorDisplay_->setFixedWidth(220);
  layout->addWidget(bar1);

  auto* bar2 = new QToolBar(this);
  bar2->setObjectName(QStringLiteral("ToolBar2"));
  auto* saveRam = ToolButton(bar2, "SpeedButton4", "SaveRam");
  auto* interfaceButton = ToolButton(bar2, "SpeedButton2", "Interface");
  interf_ = BarField(bar2, "Interf", "press Interface");
  bar2->addWidget(new QLabel(QStringLiteral("min. 2.1.0"), bar2));
  auto* aquire = ToolButton(bar2, "SpeedButton1", "Aquire");
  edit1_ = BarField(bar2, "Edit1", "press aquire");
  bar2->addWidget(new QLabel(QStringLiteral("min. 5"), bar2));
  layout->addWidget(bar2);

  auto* splitter = new QSplitter(this);
  memo2_ = new QPlainTextEdit(splitter);
  memo2_->setObjectName(QStringLiteral("Memo2"));
  memo2_->setFont(FixedPitchFont());
  memo2_->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo2_->setUndoRedoEnabled(false);
  auto* memo1 = new QPlainTextEdit(splitter);
  memo1->setObjectName(QStringLiteral("Memo1"));
  memo1->setFont(FixedPitchFont());
  memo1->setReadOnly(true);
  memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo1->setStyleSheet(QStringLiteral("color: navy"));
  QStringList reference;
  for (const char* line : kReference) reference << QLatin1String(line);
  memo1->setPlainText(reference.join(u'\n'));
  layout->addWidget(splitter, 1);

  linkLed_->OnLink = [this](LinkLamp*, bool linked) { readButton_->setEnabled(linked); };
  QPointer<TForm1> self(this);
  view_.IsVisible = [self] { return self && self->isVisible(); };
  view_.OnInterface = [self](const QString& t) {
    if (self) self->interf_->setText(t);
  };
  view_.OnMaxFunction = [self](const QString& t) {
    if (self) self->edit1_->setText(t);
  };
  view_.OnShowOk = [self](const QString& t) {
    if (self) self->ShowText(t, false);
  };
  view_.OnShowError = [self](const QString& t) {
    if (self) self->ShowText(t, true);
  };
  view_.OnPrint = [self](const QStringList& lines) {
    if (self) self->memo2_->setPlainText(lines.join(u'\n'));
  };
  view_.OnIntervalColour = [self](bool yellow) {
    if (self) self->checkBox1_->setStyleSheet(yellow ? QStringLiteral("background: yellow") : QString());
  };

  connect(close, &QToolButton::clicked, this, &QWidget::hide);
  connect(readButton_, &QToolButton::clicked, this, [this] { view_.Read(ram_->isChecked()); });
  connect(checkBox1_, &QCheckBox::toggled, this, [this](bool on) { view_.SetInterval(on); });
  connect(interfaceButton, &QToolButton::clicked, this, [this] { view_.Interface(); });
  connect(aquire, &QToolButton::clicked, this, [this] { view_.Acquire(); });
  connect(saveRam, &QToolButton::clicked, this, [this] {
    QString error;
    if (!view_.SaveRam(Datadir ? Datadir() : QString(), &error) && ShowMessage) ShowMessage(error);
  });
}

TForm1::~TForm1() {
  view_.IsVisible = nullptr;
  view_.OnInterface = nullptr;
  view_.OnMaxFunction = nullptr;
  view_.OnShowOk = nullptr;
  view_.OnShowError = nullptr;
  view_.OnPrint = nullptr;
  view_.OnIntervalColour = nullptr;
}

void TForm1::ShowText(const QString& text, bool error) {
  errorDisplay_->setText(text);
  errorDisplay_->setStyleSheet(error ? QStringLiteral("color: white; background: red")
                                     : QStringLiteral("color: black; background: white"));
}

void TForm1::closeEvent(QCloseEvent* event) {
  event->ignore();
  hide();
  if (OnClosed) OnClosed();
}

}  // namespace ulv
