#include "app/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>

#include "app/app_shell.h"
#include "link/qt_serial_line.h"

namespace ulv {

namespace {

// Toolbar glyphs: a rounded tile with a short mark.
QIcon Glyph(const QString& mark, const QColor& tile) {
  QPixmap pm(24, 24);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient g(0, 0, 0, 24);
  g.setColorAt(0, tile.lighter(135));
  g.setColorAt(1, tile.darker(115));
  p.setBrush(g);
  p.setPen(QPen(tile.darker(160), 1));
  p.drawRoundedRect(QRectF(1.5, 1.5, 21, 21), 4, 4);
  QFont f = QApplication::font();
  f.setBold(true);
  f.setPixelSize(mark.size() > 2 ? 8 : (mark.size() > 1 ? 10 : 14));
  p.setFont(f);
  p.setPen(Qt::white);
  p.drawText(QRect(0, 0, 24, 24), Qt::AlignCenter, mark);
  return QIcon(pm);
}

QPixmap Logo() {
  QPixmap pm(64, 30);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(40, 70, 120), 2));
  p.setBrush(QColor(225, 232, 242));
  p.drawRoundedRect(QRectF(1, 1, 62, 28), 6, 6);
  QFont f = QApplication::font();
  f.setBold(true);
  f.setItalic(true);
  f.setPixelSize(16);
  p.setFont(f);
  p.setPen(QColor(40, 70, 120));
  p.drawText(QRect(0, 0, 64, 30), Qt::AlignCenter, QStringLiteral("Ulv"));
  return pm;
}

}  // namespace

// ---------------------------------------------------------------- Panel1

TClientPanel::TClientPanel(QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("Panel1"));
  setFrameStyle(QFrame::NoFrame);
  auto* label = new QLabel(QStringLiteral("Ulv.Ekv Reader "), this);
  label->setObjectName(QStringLiteral("Label1"));
  QFont f = label->font();
  f.setPixelSize(24);
  f.setBold(true);
  label->setFont(f);
  QPalette pal = label->palette();
  pal.setColor(QPalette::WindowText, QColor(128, 128, 128));
  label->setPalette(pal);
  label->move(24, 18);
  label->adjustSize();
}

void TClientPanel::Embed(QWidget* w) {
  w->setParent(this, Qt::Widget);
  w->setAutoFillBackground(true);
  w->setGeometry(rect());
  w->hide();
  embedded_.emplace_back(w);
}

QWidget* TClientPanel::FrontWindow() const {
  // Children are kept in stacking order, the front one last.
  const QObjectList& kids = children();
  for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
    auto* w = qobject_cast<QWidget*>(*it);
    if (!w || w->isHidden()) continue;
    for (const auto& e : embedded_)
      if (e == w) return w;
  }
  return nullptr;
}

void TClientPanel::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  for (const auto& w : embedded_)
    if (w) w->setGeometry(rect());
}

void TClientPanel::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  // The main window's own picture: a lift shaft with its car and
  // counterweight on a steel-blue ground.
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF r = rect();
  QLinearGradient bg(r.topLeft(), r.bottomRight());
  bg.setColorAt(0, QColor(236, 240, 246));
  bg.setColorAt(1, QColor(196, 208, 224));
  p.fillRect(r, bg);

  const qreal h = r.height();
  const qreal shaftW = qMin<qreal>(220, r.width() * 0.3);
  const QRectF shaft(r.width() * 0.62, h * 0.08, shaftW, h * 0.84);
  p.setPen(QPen(QColor(90, 100, 120), 3));
  p.setBrush(QColor(214, 220, 230));
  p.drawRect(shaft);
  // Floors and landing doors.
  const int floors = 5;
  p.setPen(QPen(QColor(120, 130, 150), 1.5));
  for (int i = 1; i < floors; ++i) {
    const qreal y = shaft.top() + shaft.height() * i / floors;
    p.drawLine(QPointF(shaft.left() - 40, y), QPointF(shaft.left(), y));
  }
  // Guide rails.
  const qreal railL = shaft.left() + shaftW * 0.18;
  const qreal railR = shaft.right() - shaftW * 0.32;
  p.setPen(QPen(QColor(150, 158, 172), 2));
  p.drawLine(QPointF(railL, shaft.top()), QPointF(railL, shaft.bottom()));
  p.drawLine(QPointF(railR, shaft.top()), QPointF(railR, shaft.bottom()));
  // The car.
  const qreal carH = shaft.height() / floors * 0.92;
  const QRectF car(railL + 4, shaft.top() + shaft.height() * 2 / floors + 3, railR - railL - 8, carH);
  p.setPen(QPen(QColor(40, 70, 120), 2));
  QLinearGradient cg(car.topLeft(), car.topRight());
  cg.setColorAt(0, QColor(120, 150, 200));
  cg.setColorAt(1, QColor(70, 100, 160));
  p.setBrush(cg);
  p.drawRect(car);
  p.setPen(QPen(QColor(220, 228, 240), 1.5));
  p.drawLine(QPointF(car.center().x(), car.top() + 6), QPointF(car.center().x(), car.bottom() - 4));
  // Ropes, sheave and counterweight.
  const QPointF sheave(shaft.left() + shaftW * 0.62, shaft.top() + 14);
  p.setPen(QPen(QColor(60, 60, 70), 1.2));
  p.drawLine(QPointF(car.center().x(), car.top()), QPointF(car.center().x(), sheave.y()));
  const qreal cwX = shaft.right() - shaftW * 0.16;
  p.drawLine(QPointF(cwX, sheave.y()), QPointF(cwX, shaft.top() + shaft.height() * 0.55));
  p.setBrush(QColor(110, 110, 120));
  p.drawEllipse(QPointF((car.center().x() + cwX) / 2, sheave.y()), (cwX - car.center().x()) / 2, 9);
  p.drawRect(QRectF(cwX - 9, shaft.top() + shaft.height() * 0.55, 18, shaft.height() * 0.16));
  // Controller cabinet with its serial line to the service PC.
  const QRectF cab(shaft.left() - 120, shaft.bottom() - 90, 60, 90);
  p.setPen(QPen(QColor(60, 70, 90), 2));
  p.setBrush(QColor(230, 226, 210));
  p.drawRect(cab);
  p.setBrush(QColor(0, 160, 0));
  p.drawEllipse(QPointF(cab.left() + 14, cab.top() + 14), 4, 4);
  p.setPen(QPen(QColor(60, 70, 90), 1));
  for (int i = 0; i < 4; ++i)
    p.drawLine(QPointF(cab.left() + 10, cab.top() + 34 + i * 12),
               QPointF(cab.right() - 10, cab.top() + 34 + i * 12));
  QPainterPath cable(QPointF(cab.left(), cab.bottom() - 20));
  cable.cubicTo(QPointF(cab.left() - 80, cab.bottom() - 10), QPointF(cab.left() - 140, cab.bottom() + 10),
                QPointF(cab.left() - 200, cab.bottom() - 30));
  p.setPen(QPen(QColor(40, 40, 40), 2));
  p.setBrush(Qt::NoBrush);
  p.drawPath(cable);
  // The service PC at the other end.
  const QPointF end = cable.currentPosition();
  const QRectF screen(end.x() - 86, end.y() - 62, 72, 48);
  p.setPen(QPen(QColor(50, 55, 65), 2));
  p.setBrush(QColor(60, 66, 80));
  p.drawRoundedRect(screen, 3, 3);
  p.setBrush(QColor(150, 200, 235));
  p.drawRect(screen.adjusted(5, 5, -5, -5));
  p.setBrush(QColor(120, 126, 138));
  QPolygonF base;
  base << QPointF(screen.left() - 6, screen.bottom() + 10)
       << QPointF(screen.right() + 6, screen.bottom() + 10) << QPointF(screen.right(), screen.bottom())
       << QPointF(screen.left(), screen.bottom());
  p.drawPolygon(base);
}

// ---------------------------------------------------------------- TForm3

TForm3::TForm3(AppContext& ctx, AppUnits& units, QWidget* parent)
    : QMainWindow(parent), Timer1(ctx.timers.CreateTimer()), ctx_(ctx), units_(units) {
  setObjectName(QStringLiteral("Form3"));
  setWindowTitle(MainWindowCaption());
  resize(kWidth, kHeight);
  if (const QScreen* s = QGuiApplication::primaryScreen()) {
    const QRect desk = s->availableGeometry();
    move(desk.x() + (desk.width() - kWidth) / 2, desk.y() + (desk.height() - kHeight) / 2);
  }

  Panel1 = new TClientPanel(this);
  setCentralWidget(Panel1);
  BuildMenus();
  BuildToolBar();
  BuildStatusBar();

  OpenHelpUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
  OnEndProgram = [] { QCoreApplication::quit(); };
  OnIdentityRead = [this] { units_.identity.Read(nullptr); };
  units_.identity.ShowLinkedPlant = [this](const QString& name) { ShowLinkedPlant(name); };
  units_.linePort.ComPortNumber = [this] { return ComPortNumber; };
  auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
  connect(f1, &QShortcut::activated, this, [this] { ShowHelp(QStringLiteral("Contents")); });

  // Creation step.
  Timer1->Stop();
  Timer1->SetInterval(kIdentityDelayMs);
  Timer1->SetSingleShot(true);
  Timer1->OnTimeout = [this] { Timer1Timer(); };
  SetPanelText(3, DatePanelText(ctx_.clock.NowText()));
  Link_Led->OnLink = [this](LinkLamp*, bool linked) { Link_LedLink(linked); };
  helpFile_ = ctx_.config.HelpFile();
  SetPanelText(0, VersionPanelText());
  SetPanelText(4, NotLinkedPanelText());
  QPalette tip = QToolTip::palette();
  tip.setColor(QPalette::ToolTipBase, QColor(0, 255, 255));
  tip.setColor(QPalette::ToolTipText, Qt::black);
  QToolTip::setPalette(tip);
  show();
  ApplyEnableButtons(ctx_.config.EnableButtons());
}

TForm3::~TForm3() {
  units_.identity.ShowLinkedPlant = nullptr;
  units_.linePort.ComPortNumber = nullptr;
  units_.port.SetPartnerHook(nullptr);
  if (units_.utils.OnReport) units_.utils.OnReport = nullptr;
}

void TForm3::BuildMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu1"));

  QMenu* datei = bar->addMenu(QStringLiteral("&Datei"));
  datei->setObjectName(QStringLiteral("Datei1"));
  QAction* beenden = datei->addAction(QStringLiteral("&Beenden"));
  beenden->setObjectName(QStringLiteral("Beenden1"));
  connect(beenden, &QAction::triggered, this, [this] { close(); });

  QMenu* com = bar->addMenu(QStringLiteral("&COM"));
  com->setObjectName(QStringLiteral("COM1"));
  auto* group = new QActionGroup(this);
  group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
  const char* comTexts[] = {"Com-&1", "Com-&2", "Com-3", "Com-4"};
  for (int tag = 1; tag <= 4; ++tag) {
    QAction* a = com->addAction(QLatin1String(comTexts[tag - 1]));
    a->setObjectName(QStringLiteral("Com%1Item").arg(tag));
    a->setCheckable(true);
    a->setData(tag);
    group->addAction(a);
    comItems_.push_back(a);
    connect(a, &QAction::triggered, this, [this, tag] { SelectComPort(tag); });
  }
  com->addSeparator();
  simulatorItem_ = com->addAction(QStringLiteral("Simulator"));
  simulatorItem_->setObjectName(QStringLiteral("SimulatorItem"));
  simulatorItem_->setCheckable(true);
  simulatorItem_->setData(AppUnits::kSimulatorPort);
  group->addAction(simulatorItem_);
  connect(simulatorItem_, &QAction::triggered, this, [this] { SelectSimulator(); });
  com->addSeparator();
  QAction* comWindow = com->addAction(QStringLiteral("Schnittstellen-&Fenster..."));
  comWindow->setObjectName(QStringLiteral("ComWindow1"));
  connect(comWindow, &QAction::triggered, this, [this] { ShowTopWindow(ComForm); });
  QAction* doctor = com->addAction(QStringLiteral("Verbindung prüfen"));
  doctor->setObjectName(QStringLiteral("Doctor1"));
  connect(doctor, &QAction::triggered, this, [this] { ShowDoctor(); });

  QMenu* tools = bar->addMenu(QStringLiteral("&Tools"));
  tools->setObjectName(QStringLiteral("Tools1"));
  tools->setToolTipsVisible(true);
  QAction* ini = tools->addAction(QStringLiteral("&Ini File"));
  ini->setObjectName(QStringLiteral("IniFile1"));
  connect(ini, &QAction::triggered, this, [this] { ShowToolWindow(IniForm); });
  QAction* sendTime = tools->addAction(QStringLiteral("&Send Time"));
  sendTime->setObjectName(QStringLiteral("SendTime1"));
  sendTime->setToolTip(QStringLiteral("gegenwärtige Rechner Zeit  an die Ulv senden"));
  connect(sendTime, &QAction::triggered, this, [this] { SendTime(); });
  // Also without the [enable] toolbar button.
  QAction* monitor = tools->addAction(QStringLiteral("Send.&Monitor-Fenster..."));
  monitor->setObjectName(QStringLiteral("SendMonitor1"));
  connect(monitor, &QAction::triggered, this, [this] { ShowTopWindow(SendForm); });
  // Windows no toolbar button opens.
  QAction* sysVar = tools->addAction(QStringLiteral("S&ysVar-Fenster..."));
  sysVar->setObjectName(QStringLiteral("SysVar1"));
  connect(sysVar, &QAction::triggered, this, [this] { ShowTopWindow(SysVarForm); });
  QAction* dump = tools->addAction(QStringLiteral("Speicher-&Dump..."));
  dump->setObjectName(QStringLiteral("Dump1"));
  connect(dump, &QAction::triggered, this, [this] {
    if (DumpForm) ShowToolWindow(DumpForm);
  });

  QMenu* help = bar->addMenu(QStringLiteral("?"));
  help->setObjectName(QStringLiteral("N1"));
  QAction* helpItem = help->addAction(QStringLiteral("HELP"));
  helpItem->setObjectName(QStringLiteral("HELP1"));
  connect(helpItem, &QAction::triggered, this, [this] { ShowHelp(QStringLiteral("Contents")); });
  QAction* files = help->addAction(QStringLiteral("FILES"));
  files->setObjectName(QStringLiteral("FILES1"));
  connect(files, &QAction::triggered, this, [this] { ShowToolWindow(FilesForm); });
}

void TForm3::BuildToolBar() {
  ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
  ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
  ToolBar1->setMovable(false);
  ToolBar1->setIconSize(QSize(24, 24));
  ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);

  // The blank panel in front; it carries the result of "Send Time".
  auto* blank = new QWidget(ToolBar1);
  blank->setObjectName(QStringLiteral("Panel2"));
  blank->setFixedWidth(276);
  auto* bl = new QHBoxLayout(blank);
  bl->setContentsMargins(8, 0, 0, 0);
  Label3 = new QLabel(QStringLiteral("."), blank);
  Label3->setObjectName(QStringLiteral("Label3"));
  bl->addWidget(Label3);
  bl->addStretch(1);
  ToolBar1->addWidget(blank);

  struct Btn {
    const char* name;
    const char* caption;  // shown as text ("Namen") or empty
    const char* hint;
    const char* mark;
    QColor tile;
  };
  const Btn buttons[] = {
      {"SpeedButton2", "Namen", "", "", QColor()},
      {"DataButton", "", "allerlei Daten", "D", QColor(70, 120, 180)},
      {"ErrorButton", "", "Fehler...", "!", QColor(200, 60, 50)},
      {"RecordButton", "", "Aufzeichnung", "\u25CF", QColor(170, 40, 120)},
      {"HKFWButton", "", "Zeradere Fw", "FW", QColor(110, 90, 160)},
      {"DebugButton", "", "Debugger", "DBG", QColor(90, 110, 60)},
      {"SpeedButton1", "", "Test...", "T", QColor(40, 140, 130)},
      {"QelButton", "", "QEL Protokoll ", "Q", QColor(200, 130, 30)},
      {"SendButton", "", "Send.Monitor-Fenster", "S", QColor(60, 90, 150)},
      {"SpeedButton3", "", "Link to Steuerung", "\u21C4", QColor(30, 130, 60)},
  };
  for (const Btn& b : buttons) {
    QAction* a = ToolBar1->addAction(QString());
    a->setObjectName(QLatin1String(b.name));
    if (*b.caption) {
      a->setText(QString::fromUtf8(b.caption));
    } else {
      a->setIcon(Glyph(QString::fromUtf8(b.mark), b.tile));
      a->setText(QString::fromUtf8(b.hint));
      a->setToolTip(QString::fromUtf8(b.hint));
    }
    if (QWidget* w = ToolBar1->widgetForAction(a)) {
      w->setObjectName(QLatin1String(b.name));
      if (auto* tb = qobject_cast<QToolButton*>(w); tb && *b.caption)
        tb->setToolButtonStyle(Qt::ToolButtonTextOnly);
    }
  }
  auto open = [this](const char* name, auto&& fn) {
    connect(ToolAction(name), &QAction::triggered, this, std::forward<decltype(fn)>(fn));
  };
  open("SpeedButton2", [this] { ShowToolWindow(NamenForm); });
  open("DataButton", [this] { ShowToolWindow(Form9); });
  open("ErrorButton", [this] { ShowToolWindow(Form4); });
  open("RecordButton", [this] { ShowToolWindow(Form14); });
  open("HKFWButton", [this] {
    if (OnShowFirmwareView) OnShowFirmwareView();
    show();
  });
  open("DebugButton", [this] { ShowToolWindow(UlvDebug); });
  open("SpeedButton1", [this] { ShowToolWindow(Form10); });
  open("QelButton", [this] { ShowToolWindow(QelForm); });
  open("SendButton", [this] { ShowTopWindow(SendForm); });
  open("SpeedButton3", [this] {
    if (Link_Led->OnClickHook) Link_Led->OnClickHook();
  });

  auto* spacer = new QWidget(ToolBar1);
  spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  ToolBar1->addWidget(spacer);
  auto* logo = new QLabel(ToolBar1);
  logo->setObjectName(QStringLiteral("Image2"));
  logo->setPixmap(Logo());
  ToolBar1->addWidget(logo);
}

void TForm3::BuildStatusBar() {
  StatusBar1 = statusBar();
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  // The panels sit at fixed places from the left edge, so they are placed
  // by hand rather than by the bar's own spaced layout.
  StatusBar1->setSizeGripEnabled(false);
  const char* texts[] = {"   Version", "   seriell", "", "   Datum", "    nicht verbunden"};
  for (int i = 0; i < 5; ++i) {
    auto* l = new QLabel(QLatin1String(texts[i]), StatusBar1);
    l->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panels_[i] = l;
  }
  // The lamp is a child of the bar itself, laid over panel 2.
  Link_Led = new TLinkPanel(StatusBar1);
  Link_Led->setObjectName(QStringLiteral("Link_Led"));
  StatusBar1->installEventFilter(this);
  PlaceStatusPanels();
}

void TForm3::PlaceStatusPanels() {
  const int h = StatusBar1->height();
  int x = 0;
  for (int i = 0; i < 5; ++i) {
    // A text longer than its panel (another locale's date, a long partner)
    // widens the panel and moves the later ones rather than being clipped.
    int w = qMax(kPanelWidths[i], panels_[i]->sizeHint().width());
    if (i == 4) w = qMax(w, StatusBar1->width() - x);
    panels_[i]->setGeometry(x, 0, w, h);
    x += w;
  }
  // Top 2, left 352 (panel 2's left edge plus 2), 4 pixels smaller than
  // panel 2 and the bar.
  Link_Led->setGeometry(panels_[2]->x() + 2, 2, kPanelWidths[2] - 4, h - 4);
}

bool TForm3::eventFilter(QObject* watched, QEvent* event) {
  if (watched == StatusBar1 && event->type() == QEvent::Resize) PlaceStatusPanels();
  return QMainWindow::eventFilter(watched, event);
}

void TForm3::SetPanelText(int index, const QString& text) {
  panels_[index]->setText(text);
  PlaceStatusPanels();
}

QString TForm3::PanelText(int index) const {
  return index >= 0 && index < 5 && panels_[index] ? panels_[index]->text() : QString();
}

QAction* TForm3::ComItem(int tag) const {
  return tag >= 1 && tag <= static_cast<int>(comItems_.size()) ? comItems_[static_cast<size_t>(tag - 1)]
                                                               : nullptr;
}

QAction* TForm3::ToolAction(const char* name) const {
  for (QAction* a : ToolBar1->actions())
    if (a->objectName() == QLatin1String(name)) return a;
  return nullptr;
}

void TForm3::ApplyEnableButtons(const QString& buttons) {
  const std::pair<const char*, EnableButton> rule[] = {
      {"QelButton", EnableButton::Qel},       {"DebugButton", EnableButton::Debug},
      {"RecordButton", EnableButton::Record}, {"ErrorButton", EnableButton::Error},
      {"HKFWButton", EnableButton::Hkfw},     {"SendButton", EnableButton::Send},
      {"DataButton", EnableButton::Data},
  };
  for (const auto& [name, pos] : rule)
    if (QAction* a = ToolAction(name)) a->setVisible(EnableButtonOn(buttons, pos));
  // The toolbar would lay its buttons out again only on its next event-loop
  // pass; until then a hidden button would still show (greyed).
  ToolBar1->layout()->activate();
}

void TForm3::ShowToolWindow(QWidget* w) {
  if (!w) return;
  for (QToolBar* tb : w->findChildren<QToolBar*>())
    for (QToolButton* b : tb->findChildren<QToolButton*>()) b->setMinimumHeight(34);
  w->show();
  w->raise();
}

void TForm3::ShowTopWindow(QWidget* w) {
  if (!w) return;
  w->show();
  w->raise();
  w->activateWindow();
}

void TForm3::SelectComPort(int port) { SelectPort(port, false); }

void TForm3::SelectSimulator() { SelectPort(AppUnits::kSimulatorPort, true); }

void TForm3::SelectPort(int port, bool simulator) {
  ComPortNumber = port;
  units_.simulatorChosen = simulator;
  units_.modem.GiveBackLine([&queue = units_.queue] { queue.SetTransport(false); });
  units_.port.SetPartnerHook([this](const QString& text) { ShowPartner(text); });
  for (QAction* a : comItems_) a->setChecked(!simulator && a->data().toInt() == port);
  simulatorItem_->setChecked(simulator);
}

DoctorTarget TForm3::CurrentDoctorTarget() const {
  DoctorTarget t;
  t.hardwareFlowControl = ctx_.config.FlowControl().compare(QLatin1String("none"), Qt::CaseInsensitive) != 0;
  if (units_.port.IsOpen()) {
    // The line runs on it: its own state is the live check.
    t.device = units_.line.Device();
    t.ownLink = units_.port.Link().IsLinked();
  } else if (!units_.simulatorChosen) {
    t.device = QtSerialLine::SystemPath(ctx_.config.ComDevice(ComPortNumber));
  }
  return t;
}

void TForm3::ShowDoctor() {
  auto* form = new TDoctorForm(ctx_.logs, ctx_.clock, ctx_.timers, [this] { return CurrentDoctorTarget(); }, this);
  form->setAttribute(Qt::WA_DeleteOnClose);
  form->show();
  form->Check();
}

void TForm3::ShowPartner(const QString& text) {
  SetPanelText(1, PartnerPanelText(text));
  Timer1->Start();
}

void TForm3::Timer1Timer() {
  Timer1->Stop();
  if (OnIdentityRead) OnIdentityRead();
}

void TForm3::ShowLinkedPlant(const QString& plantName) {
  SetPanelText(4, LinkedPlantPanelText(plantName));
  if (Form14) Form14->setWindowTitle(LinkedPlantCaption(plantName));
}

void TForm3::Link_LedLink(bool linked) {
  if (!linked) SetPanelText(4, NotLinkedPanelText());
}

void TForm3::ShowHelp(const QString& topic) {
  const QUrl url = HelpUrl(helpFile_, topic);
  if (url.isValid() && OpenHelpUrl) OpenHelpUrl(url);
}

void TForm3::SendTime() {
  QPointer<QLabel> label = Label3;
  units_.utils.OnReport = [label](const QString& text) {
    if (label) label->setText(text);
  };
  units_.utils.SendDateTime([](QelUtils*) {});
}

void TForm3::closeEvent(QCloseEvent* event) {
  // Closing the main window ends the program at once.
  event->accept();
  if (OnEndProgram) OnEndProgram();
}

}  // namespace ulv
