#pragma once
// The program's windows, created once in the defined order with the main
// window first, and the start-up steps that follow their creation: the
// application title, the COM port, the lamps, and the start states of the
// tool windows. Windows of later issues get their places here.
#include <memory>

#include "app/files_window.h"
#include "app/ini_window.h"
#include "app/main_window.h"
#include "context/app_context.h"
#include "context/app_units.h"
#include "diag/debugger_window.h"
#include "diag/firmware_window.h"
#include "diag/monitor_window.h"
#include "link/com_port_window.h"
#include "link/line_port_window.h"
#include "link/transfer_window.h"
#include "records/error_log_window.h"
#include "records/identity_window.h"
#include "stream/recorder_window.h"
#include "system/data_window.h"
#include "system/dump_window.h"
#include "system/record_reader_window.h"
#include "system/sysvar_window.h"

namespace ulv {

class ProgramWindows {
public:
  // Creates every window (the main window is shown during its creation).
  ProgramWindows(AppContext& ctx, AppUnits& units);
  ~ProgramWindows();
  ProgramWindows(const ProgramWindows&) = delete;
  ProgramWindows& operator=(const ProgramWindows&) = delete;

  // Title, COM port ([comport] port, or the simulator), lamp registration
  // and the tool windows' start states.
  void Start(bool simulate);
  // Once the link is first up: the plant identity read, then the error log
  // window with its read.
  void ReadErrorsWhenLinked();

  // Owned by the main window (embedded ones) or by this object (the two
  // top-level windows).
  TForm3* Form3 = nullptr;
  TQel_Form* Qel_Form = nullptr;
  TForm4* Form4 = nullptr;
  TSend* Send = nullptr;
  TMyComPort* MyComPort = nullptr;
  Tini_form* ini_form = nullptr;
  TFiles* Files = nullptr;
  TNamenForm* NamenForm = nullptr;
  TForm5* Form5 = nullptr;
  TForm7* Form7 = nullptr;
  TForm8* Form8 = nullptr;
  TForm9* Form9 = nullptr;
  TForm14* Form14 = nullptr;
  TUlvDebug* UlvDebug = nullptr;
  TForm1* Form1 = nullptr;
  TForm10* Form10 = nullptr;

private:
  AppContext& ctx_;
  AppUnits& units_;
  std::unique_ptr<TForm3> form3_;
  LinkLampModel autoReadLamp_;
  bool autoReadDone_ = false;
  std::unique_ptr<TSend> send_;
  std::unique_ptr<TMyComPort> myComPort_;
  std::unique_ptr<TForm8> form8_;
  std::unique_ptr<TForm7> form7_;
  // The logic outlives its windows (form3_ is reset first).
  std::unique_ptr<MemoryDebugger> debugger_;
  std::unique_ptr<FirmwareView> firmware_;
  std::unique_ptr<MonitorTest> monitor_;
};

}  // namespace ulv
