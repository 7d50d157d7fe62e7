#include "app/program_window.h"

#include <QApplication>
#include <QLineEdit>
#include <QTimer>

#include "app/app_shell.h"

namespace ulv {

ProgramWindows::ProgramWindows(AppContext& ctx, AppUnits& units) : ctx_(ctx), units_(units) {
  // The main window first: the tool windows embed into its client panel.
  form3_ = std::make_unique<TForm3>(ctx, units);
  Form3 = form3_.get();

  Qel_Form = new TQel_Form(units.linePort, units.queue, units.utils, ctx.timers);
  Form3->EmbedToolWindow(Qel_Form);
  Form3->QelForm = Qel_Form;

  Form5 = new TForm5(units.memoryDump);
  Form3->EmbedToolWindow(Form5);
  Form3->DumpForm = Form5;

  Form14 = new TForm14(units.recorder);
  Form3->EmbedToolWindow(Form14);
  Form3->Form14 = Form14;

  Form4 = new TForm4(units.errorReader);
  Form4->Dokudir = [&ctx] { return ctx.config.Dokudir(); };
  Form3->EmbedToolWindow(Form4);
  Form3->Form4 = Form4;

  form8_ = std::make_unique<TForm8>(units.recordReader);
  Form8 = form8_.get();
  Form3->SysVarForm = Form8;
  form7_ = std::make_unique<TForm7>(units.recordReader);
  Form7 = form7_.get();

  send_ = std::make_unique<TSend>(units.queue, ctx.timers);
  Send = send_.get();
  Form3->SendForm = Send;

  myComPort_ = std::make_unique<TMyComPort>(units.port, units.line, units.modem, ctx.timers);
  MyComPort = myComPort_.get();
  Form3->ComForm = MyComPort;

  ini_form = new Tini_form(ctx.config);
  Form3->EmbedToolWindow(ini_form);
  Form3->IniForm = ini_form;

  Form9 = new TForm9(units.dataReport, ctx.clock);
  Form9->Dokudir = [&ctx] { return ctx.config.Dokudir(); };
  Form3->EmbedToolWindow(Form9);
  Form3->Form9 = Form9;
  Form4->TransferDataHook = [this](const QStringList& lines) { Form9->AppendLines(lines); };
  Form14->TransferDataHook = [this](const QStringList& lines) { Form9->AppendLines(lines); };
  Form8->OnClosed = [this] { Form3->ShowToolWindow(Form9); };
  Form8->OnHelp = [this](const QString& topic) { Form3->ShowHelp(topic); };

  Files = new TFiles(ctx.config, &units.catalogue);
  Form3->EmbedToolWindow(Files);
  Form3->FilesForm = Files;

  monitor_ = std::make_unique<MonitorTest>(units.queue, ctx.timers);
  monitor_->TakeLineData = [&units] { return units.linePort.TakeLineData(); };
  Form10 = new TForm10(*monitor_);
  Form3->EmbedToolWindow(Form10);
  Form3->Form10 = Form10;

  NamenForm = new TNamenForm(units.identity);
  Form3->EmbedToolWindow(NamenForm);
  Form3->NamenForm = NamenForm;
  Form3->OnIdentityRead = [this] { NamenForm->HolenButtonClick(); };

  firmware_ = std::make_unique<FirmwareView>(units.queue);
  Form1 = new TForm1(*firmware_);
  Form3->EmbedToolWindow(Form1);
  Form3->Form1 = Form1;
  Form1->Datadir = [&ctx] { return ctx.config.Datadir(); };
  Form1->OnClosed = [this] { Form3->show(); };
  Form3->OnShowFirmwareView = [this] { Form3->ShowToolWindow(Form1); };
  units.port.Link().RegisterLinkLed(Form1->LinkLed());

  debugger_ = std::make_unique<MemoryDebugger>(units.queue, units.utils, units.recordReader, units.memoryDump,
                                               ctx.timers);
  UlvDebug = new TUlvDebug(*debugger_, ctx.config);
  Form3->EmbedToolWindow(UlvDebug);
  Form3->UlvDebug = UlvDebug;
  UlvDebug->OnHelp = [this](const QString& topic) { Form3->ShowHelp(topic); };
  UlvDebug->OnDump = [this](const QString& address) {
    Form5->Edit1()->setText(address);
    Form3->ShowToolWindow(Form5);
    Form5->ShowDump();
  };
  // Only a debugger someone sees shows the dump's blocks.
  Form5->OnReceiver = [this](const QString& text) {
    if (UlvDebug->isVisible()) UlvDebug->Receiver()->setText(text);
  };
}

ProgramWindows::~ProgramWindows() {
  // The lamps stay registered with the link state for the whole run; showing
  // the link down while they still exist means no later report can repaint
  // them after they are gone.
  units_.port.Link().SetLinkState(false);
  // The top-level windows go first; the main window takes its embedded ones.
  myComPort_.reset();
  form7_.reset();
  form8_.reset();
  send_.reset();
  form3_.reset();
}

void ProgramWindows::Start(bool simulate) {
  QApplication::setApplicationDisplayName(ApplicationTitle());
  if (simulate)
    Form3->SelectSimulator();
  else
    Form3->SelectComPort(ctx_.config.ComPort());
  units_.port.Link().RegisterLinkLed(Form3->Link_Led);
  Form14->StartRecorder(units_.port.Link());
  Form4->SetStatus(0);
  units_.port.Link().RegisterLinkLed(UlvDebug->LinkLed());
  units_.port.Link().RegisterLinkLed(Form8->LinkLed());
}

void ProgramWindows::ReadErrorsWhenLinked() {
  autoReadLamp_.OnLink = [this](LinkLamp*, bool linked) {
    if (!linked || autoReadDone_) return;
    autoReadDone_ = true;
    // Not from inside the link report: the reads start on the next loop pass.
    QTimer::singleShot(0, Form3, [this] {
      units_.identity.OnReadEnded = [this](bool) {
        // The hook is cleared on the next pass, not while it runs.
        QTimer::singleShot(0, Form3, [this] {
          units_.identity.OnReadEnded = nullptr;
          Form3->ShowToolWindow(Form4);
          Form4->HolenButtonClick();
        });
      };
      NamenForm->HolenButtonClick();
    });
  };
  units_.port.Link().RegisterLinkLed(&autoReadLamp_);
}

}  // namespace ulv
