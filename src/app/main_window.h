#pragma once
// TForm3, the main window: a frame whose client panel hosts the tool
// windows, with the toolbar and menus that open them, the COM port choice,
// and the status bar with version, serial partner, link lamp, start time
// and the name of the connected plant.
#include <QFrame>
#include <QMainWindow>
#include <QPointer>
#include <QUrl>
#include <functional>
#include <memory>
#include <vector>

#include "common/timer.h"
#include "context/app_context.h"
#include "context/app_units.h"
#include "link/link_panel_widget.h"
#include "link/port_doctor_window.h"

class QAction;
class QLabel;
class QStatusBar;
class QToolBar;

namespace ulv {

// Panel1: the main window's client panel. Its own picture and label lie at
// the bottom; every embedded tool window fills it, and showing one brings it
// to the front, so hiding it uncovers what lies below.
class TClientPanel : public QFrame {
  Q_OBJECT

public:
  explicit TClientPanel(QWidget* parent = nullptr);
  // Makes `w` a borderless child that fills the panel; it starts hidden.
  void Embed(QWidget* w);
  // The visible embedded window in front, or null when the picture shows.
  QWidget* FrontWindow() const;

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  std::vector<QPointer<QWidget>> embedded_;
};

class TForm3 : public QMainWindow {
  Q_OBJECT

public:
  static constexpr int kWidth = 836;
  static constexpr int kHeight = 659;
  static constexpr int kHelpContext = 5000;
  static constexpr int kIdentityDelayMs = 1000;
  // Status panel widths from the left; a panel grows to fit its text, and
  // the last one takes the rest of the bar.
  static constexpr int kPanelWidths[5] = {200, 150, 26, 170, 50};

  // The creation step: status bar, lamp, help file, button visibility; the
  // window is shown at its end.
  TForm3(AppContext& ctx, AppUnits& units, QWidget* parent = nullptr);
  ~TForm3() override;

  // COM port 1-4 (or the simulator's number) the line port opens.
  int ComPortNumber = 1;
  std::unique_ptr<Timer> Timer1;
  TLinkPanel* Link_Led = nullptr;
  QLabel* Label3 = nullptr;
  QStatusBar* StatusBar1 = nullptr;
  TClientPanel* Panel1 = nullptr;
  QToolBar* ToolBar1 = nullptr;

  // Places of the tool windows the toolbar and menus open (empty until the
  // window exists).
  QPointer<QWidget> NamenForm;  // plant identity, "Namen"
  QPointer<QWidget> Form9;      // data window
  QPointer<QWidget> Form4;      // error log
  QPointer<QWidget> Form14;     // event stream recorder
  QPointer<QWidget> Form1;      // firmware data view
  QPointer<QWidget> UlvDebug;   // memory debugger
  QPointer<QWidget> Form10;     // monitor and test window
  QPointer<QWidget> QelForm;    // line window
  QPointer<QWidget> SendForm;   // transfer monitor (top level)
  QPointer<QWidget> ComForm;    // serial port window (top level)
  QPointer<QWidget> SysVarForm; // SysVar window (top level)
  QPointer<QWidget> DumpForm;   // memory dump window (embedded)
  QPointer<QWidget> IniForm;    // settings editor
  QPointer<QWidget> FilesForm;  // paths and files

  // Timer1's action one second after a port report: the plant identity
  // read ("holen" of the identity window).
  std::function<void()> OnIdentityRead;
  // The firmware data view's button (it may re-create its window).
  std::function<void()> OnShowFirmwareView;
  // Opens a help address (the platform's viewer by default).
  std::function<void(const QUrl&)> OpenHelpUrl;
  // Ends the program (quits the event loop by default).
  std::function<void()> OnEndProgram;

  void EmbedToolWindow(QWidget* w) { Panel1->Embed(w); }
  // Toolbar button height 34, visible, in front.
  void ShowToolWindow(QWidget* w);
  // A top-level window (serial port, transfer monitor): shown and in front.
  static void ShowTopWindow(QWidget* w);
  // A COM number (from the menu or the configuration; 0 is no simulator).
  void SelectComPort(int port);
  // The built-in simulated controller (--simulate, menu "Simulator").
  void SelectSimulator();
  void ShowPartner(const QString& text);
  // "Verbindung prüfen": the connection doctor on the port in use.
  void ShowDoctor();
  DoctorTarget CurrentDoctorTarget() const;
  void ShowLinkedPlant(const QString& plantName);
  // The help file at `topic` ("Contents" for the menu item).
  void ShowHelp(const QString& topic);
  void SendTime();
  // [enable] buttons rule for the seven optional toolbar buttons.
  void ApplyEnableButtons(const QString& buttons);

  QString HelpFile() const { return helpFile_; }
  QString PanelText(int index) const;
  QAction* ComItem(int tag) const;
  QAction* SimulatorItem() const { return simulatorItem_; }
  QAction* ToolAction(const char* name) const;

protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void BuildMenus();
  void BuildToolBar();
  void BuildStatusBar();
  // Panels side by side from the bar's left edge, the lamp 2 pixels inside
  // panel 2; kept so whenever the bar changes size.
  void PlaceStatusPanels();
  void SetPanelText(int index, const QString& text);
  void SelectPort(int port, bool simulator);
  void Timer1Timer();
  void Link_LedLink(bool linked);

  AppContext& ctx_;
  AppUnits& units_;
  QString helpFile_;
  QLabel* panels_[5] = {};
  std::vector<QAction*> comItems_;
  QAction* simulatorItem_ = nullptr;
};

}  // namespace ulv
