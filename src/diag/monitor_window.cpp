#include "diag/monitor_window.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "diag/direction_window.h"
#include "link/fixed_font_widget.h"
#include "link/tool_bar_widget.h"

namespace ulv {

namespace {

QPushButton* Button(QWidget* parent, const char* name, const char* caption, const char* hint = nullptr) {
  auto* b = new QPushButton(QString::fromUtf8(caption), parent);
  b->setObjectName(QLatin1String(name));
  if (hint) b->setToolTip(QString::fromUtf8(hint));
  return b;
}

QLabel* Label(QWidget* parent, const char* name, const char* text = "") {
  auto* l = new QLabel(QString::fromUtf8(text), parent);
  l->setObjectName(QLatin1String(name));
  return l;
}

void Colour(QWidget* w, const char* colour) {
  w->setStyleSheet(colour ? QStringLiteral("background: %1").arg(QLatin1String(colour)) : QString());
}

}  // namespace

TForm10::TForm10(MonitorTest& test, QWidget* parent) : QWidget(parent), test_(test) {
  setObjectName(QStringLiteral("Form10"));
  setWindowTitle(QStringLiteral("Monitor u.a. Test"));
  AskDeleteErrors = [this] {
    return QMessageBox::question(this, QString(), QStringLiteral("Fehlerspeicher wirklich löschen?")) ==
           QMessageBox::Yes;
  };
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* bar = new QToolBar(this);
  bar->setObjectName(QStringLiteral("ToolBar1"));
  QToolButton* close = AddTextButton(bar, "CloseButton", QStringLiteral("Schliessen"));
  bar->addWidget(new QLabel(QStringLiteral("Steuerungs-Test"), bar));
  layout->addWidget(bar);

  auto* body = new QHBoxLayout;
  layout->addLayout(body, 1);
  memo1_ = new QPlainTextEdit(this);
  memo1_->setObjectName(QStringLiteral("Memo1"));
  memo1_->setFont(FixedPitchFont());
  memo1_->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo1_->setUndoRedoEnabled(false);
  memo1_->setMaximumBlockCount(10000);
  memo1_->setMinimumWidth(160);
  body->addWidget(memo1_, 1);
  // Two columns beside the log: the monitor block, then everything else.
  auto* left = new QVBoxLayout;
  body->addLayout(left);
  auto* right = new QVBoxLayout;
  body->addLayout(right);

  auto* mon = new QGroupBox(QStringLiteral("MonBlock Test"), this);
  auto* m = new QGridLayout(mon);
  const struct {
    const char* name;
    const char* caption;
  } labels[] = {{"Label1", ""},       {"Label2", ""},      {"Label5", "Richtung="}, {"Label8", "WEIZ="},
                {"Label11", "Ziel="}, {"Label13", ""},     {"Label16", "TürA="},    {"Label17", "TürB="},
                {"Label19", "Vollast="}, {"Label21", ""}};
  for (int i = 0; i < 10; ++i) {
    labels_[i] = Label(mon, labels[i].name);
    m->addWidget(new QLabel(QString::fromUtf8(labels[i].caption), mon), i, 0);
    m->addWidget(labels_[i], i, 1);
  }
  auto* safety = new QGroupBox(QStringLiteral("SicherheitsKreis"), mon);
  (new QVBoxLayout(safety))->addWidget(labels_[5]);
  m->addWidget(safety, 5, 1);
  auto* fault = new QGroupBox(QStringLiteral("Störung"), mon);
  (new QVBoxLayout(fault))->addWidget(labels_[9]);
  m->addWidget(fault, 9, 1);
  richtung_ = new TRichtungsAnzeige(mon);
  m->addWidget(richtung_, 0, 2);
  trackBar1_ = new QSlider(Qt::Vertical, mon);
  trackBar1_->setObjectName(QStringLiteral("TrackBar1"));
  trackBar1_->setRange(0, 7);
  trackBar1_->setInvertedAppearance(true);  // floor 0 at the bottom
  trackBar1_->setEnabled(false);
  m->addWidget(trackBar1_, 1, 2, 8, 1);
  auto* floors = new QVBoxLayout;
  for (int n = 7; n >= 0; --n) {
    auto* b = Button(mon, QStringLiteral("Button%1").arg(n).toLatin1().constData(), "");
    b->setText(QString::number(n));
    b->setFixedWidth(28);
    floors->addWidget(b);
    connect(b, &QPushButton::clicked, this, [this, n] { test_.Floor(n); });
  }
  m->addLayout(floors, 0, 3, 10, 1);
  auto* start = Button(mon, "BitBtn1", "Start", "Monitor Test");
  panel4_ = new QWidget(mon);
  panel4_->setObjectName(QStringLiteral("Panel4"));
  panel4_->setFixedSize(16, 16);
  label22_ = Label(mon, "Label22");
  m->addWidget(start, 10, 0);
  m->addWidget(panel4_, 10, 1);
  m->addWidget(label22_, 10, 2);
  left->addWidget(mon);
  left->addStretch();

  auto* lcd = new QGroupBox(QStringLiteral("LCD"), this);
  auto* l = new QVBoxLayout(lcd);
  for (int i = 0; i < 4; ++i) {
    lcd_[i] = Label(lcd, QStringLiteral("LCD_%1").arg(i + 1).toLatin1().constData());
    lcd_[i]->setFont(FixedPitchFont());
    lcd_[i]->setStyleSheet(QStringLiteral("background: green"));
    l->addWidget(lcd_[i]);
  }
  auto* lcdHolen = Button(lcd, "Button11", "holen", "LCD holen");
  auto* config = Button(lcd, "Button9", "Config", "Rufe Konfiguration holen");
  l->addWidget(lcdHolen);
  l->addWidget(config);
  right->addWidget(lcd);

  auto* stop = new QGroupBox(QStringLiteral("Stop"), this);
  auto* s = new QHBoxLayout(stop);
  auto* action = Button(stop, "ActionButton", "Action", "Qel Kommando-Test (bis STOP)");
  stopAction_ = Button(stop, "StopActionButton", "Stopped", "Start/Stop die Aktionen");
  edit1_ = new QLineEdit(stop);
  edit1_->setObjectName(QStringLiteral("Edit1"));
  s->addWidget(action);
  s->addWidget(stopAction_);
  s->addWidget(edit1_);
  right->addWidget(stop);

  auto* group = new QGroupBox(QStringLiteral("Gruppe"), this);
  auto* g = new QGridLayout(group);
  const char* radios[] = {"ULV-1", "ULV-2", "ULV-3", "ULV-4", "keine"};
  for (int i = 0; i < 5; ++i) {
    radio_[i] = new QRadioButton(QLatin1String(radios[i]), group);
    radio_[i]->setObjectName(QStringLiteral("RadioButton%1").arg(i + 1));
    g->addWidget(radio_[i], 0, i);
  }
  radio_[4]->setChecked(true);
  auto* b80 = Button(group, "Button8", "0x80",
                     "$81 01 = 0001 = ULV-Slave ; $81 02 = 0010 = ULV-Master ; $81 03 = 0011 = ULV-Single-ULV-Master");
  auto* linkInfo = Button(group, "Button10", "Link.Info");
  g->addWidget(b80, 1, 0);
  g->addWidget(linkInfo, 1, 1);
  right->addWidget(group);

  auto* group2 = new QGroupBox(QStringLiteral("Gruppe"), this);
  auto* g2 = new QGridLayout(group2);
  const struct {
    const char* name;
    const char* caption;
    const char* command;
  } groupCommands[] = {{"Button12", "Slave", "8101"},  {"Button13", "Master", "8102"}, {"Button14", "SMaster", "8103"},
                       {"Button15", "ADR", "822A00"}, {"Button17", "LÖSCH", "920201"}};
  int column = 0;
  for (const auto& c : groupCommands) {
    auto* b = Button(group2, c.name, c.caption);
    g2->addWidget(b, 0, column++);
    connect(b, &QPushButton::clicked, this, [this, cmd = QByteArray::fromHex(c.command)] { test_.Group(cmd); });
  }
  auto* gst = Button(group2, "Button16", "GStBuffer");
  panel5_ = new QWidget(group2);
  panel5_->setObjectName(QStringLiteral("Panel5"));
  panel5_->setFixedSize(16, 16);
  g2->addWidget(gst, 1, 0);
  g2->addWidget(panel5_, 1, 1);
  right->addWidget(group2);

  auto* copy = new QGroupBox(QStringLiteral("Kopierung"), this);
  auto* c = new QHBoxLayout(copy);
  label23_ = Label(copy, "Label23");
  label20_ = Label(copy, "Label20");
  auto* f132 = Button(copy, "Button19", "F1 32", "hole xKopierSignal");
  c->addWidget(label23_);
  c->addWidget(label20_);
  c->addWidget(f132);
  right->addWidget(copy);
  right->addStretch();

  QPointer<TForm10> self(this);
  test_.AskDeleteErrors = [self] { return self && self->AskDeleteErrors && self->AskDeleteErrors(); };
  test_.OnLog = [self](const QString& line) {
    if (self) self->memo1_->appendPlainText(line);
  };
  test_.OnCommand = [self](const QString& t) {
    if (self) self->edit1_->setText(t);
  };
  test_.OnActionState = [self](const QString& t) {
    if (self) self->stopAction_->setText(t);
  };
  test_.OnMonitor = [self](const MonitorLabels& m) {
    if (!self) return;
    const QString* texts[] = {&m.floor, &m.mode, nullptr, &m.weiz, &m.target, nullptr,
                              &m.doorA, &m.doorB, &m.fullLoad, &m.fault};
    for (int i = 0; i < 10; ++i)
      if (texts[i]) self->labels_[i]->setText(*texts[i]);
    if (m.direction) self->labels_[2]->setText(*m.direction);
    if (m.arrow) self->richtung_->SetRichtung(*m.arrow);
    if (m.safety) self->labels_[5]->setText(*m.safety);
    self->trackBar1_->setValue(m.trackBar);
  };
  test_.OnStep = [self](const QString& t) {
    if (self) self->label22_->setText(t);
  };
  test_.OnPanel4 = [self](bool yellow) {
    if (self) Colour(self->panel4_, yellow ? "yellow" : "black");
  };
  test_.OnLcd = [self](const QStringList& lines) {
    if (!self) return;
    for (int i = 0; i < 4 && i < lines.size(); ++i) self->lcd_[i]->setText(lines[i]);
  };
  test_.OnRadio = [self](int radio) {
    if (self && radio >= 1 && radio <= 5) self->radio_[radio - 1]->setChecked(true);
  };
  test_.OnCopy = [self](const QString& flags, const QString& hex) {
    if (!self) return;
    self->label20_->setText(flags);
    if (!hex.isEmpty()) self->label23_->setText(hex);
  };
  test_.OnPanel5 = [self](bool yellow) {
    if (self) Colour(self->panel5_, yellow ? "yellow" : nullptr);
  };

  connect(close, &QToolButton::clicked, this, &QWidget::hide);
  connect(start, &QPushButton::clicked, this, [this] { test_.ToggleMonitor(); });
  connect(lcdHolen, &QPushButton::clicked, this, [this] { test_.FetchLcd(); });
  connect(config, &QPushButton::clicked, this, [this] { test_.Config(); });
  connect(action, &QPushButton::clicked, this, [this] { test_.Action(); });
  connect(stopAction_, &QPushButton::clicked, this, [this] { test_.ToggleActionStop(); });
  connect(b80, &QPushButton::clicked, this, [this] { test_.Send80(); });
  connect(linkInfo, &QPushButton::clicked, this, [this] { test_.LinkInfo(); });
  connect(gst, &QPushButton::clicked, this, [this] { test_.ToggleGroupBuffer(); });
  connect(f132, &QPushButton::clicked, this, [this] { test_.CopySignals(); });
}

TForm10::~TForm10() {
  test_.StopAll();
  test_.AskDeleteErrors = nullptr;
  test_.OnLog = nullptr;
  test_.OnCommand = nullptr;
  test_.OnActionState = nullptr;
  test_.OnMonitor = nullptr;
  test_.OnStep = nullptr;
  test_.OnPanel4 = nullptr;
  test_.OnLcd = nullptr;
  test_.OnRadio = nullptr;
  test_.OnCopy = nullptr;
  test_.OnPanel5 = nullptr;
}

void TForm10::showEvent(QShowEvent* event) {
  test_.StopAll();  // shown with the action test stopped
  QWidget::showEvent(event);
}

void TForm10::hideEvent(QHideEvent* event) {
  test_.StopAll();
  QWidget::hideEvent(event);
}

}  // namespace ulv
