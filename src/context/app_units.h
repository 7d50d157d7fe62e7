#pragma once
// The link units the program (windowed or headless) holds for the whole run
// besides the configuration: the serial port, the line port, the transfer
// queue, the protocol utilities, the error text catalogue with its reader,
// the plant identity, and the built-in simulated controller when it is
// chosen. Built once after AppContext::Start, on a serial line given from
// outside (the QSerialPort adapter in the programs, an in-memory line in
// tests) that must outlive it.
#include <QString>
#include <functional>
#include <memory>

#include "context/app_context.h"
#include "link/com_port.h"
#include "link/line_port.h"
#include "link/modem_link.h"
#include "link/new_com.h"
#include "link/qel_utils.h"
#include "link/serial_line.h"
#include "link/transfer_queue.h"
#include "records/error_catalogue.h"
#include "records/error_log_reader.h"
#include "records/plant_identity.h"
#include "sim/pty_simulator.h"
#include "stream/event_decoder.h"
#include "stream/stream_recorder.h"
#include "system/data_report.h"
#include "system/memory_dump.h"
#include "system/record_reader.h"

namespace ulv {

class AppUnits {
public:
  // The COM number that stands for the built-in simulated controller once
  // `simulatorChosen` is set (a [comport] comN of "sim" also chooses it).
  static constexpr int kSimulatorPort = 0;

  AppUnits(AppContext& ctx, SerialLine& line);
  ~AppUnits();
  AppUnits(const AppUnits&) = delete;
  AppUnits& operator=(const AppUnits&) = delete;

  AppContext& ctx;
  SerialLine& line;
  ComPort port;
  LinePort linePort;
  // The framed transport (modem sessions, the queue's mode 1).
  TNewCom newCom;
  TransferQueue queue;
  // The modem, its sessions and the serial window's modem buttons.
  ModemLink modem;
  QelUtils utils;
  ErrorCatalogue catalogue;
  PlantIdentity identity;
  ErrorLogReader errorReader;
  // The system data views: the record reader, the data window's report
  // and the memory dump (the memory debugger uses the reader and the dump).
  RecordReader recordReader;
  DataReport dataReport;
  MemoryDump memoryDump;
  // The event stream decoder and recorder (the recorder window TForm14 and
  // the headless capture and decode).
  EventDecoder decoder;
  StreamRecorder recorder;

  // Starts the simulated controller (when not yet running) and gives the
  // device to open; empty with `error` set when it cannot start. By default
  // the in-process simulator on a pseudo-terminal; tests install their own.
  std::function<QString(QString* error)> StartSimulator;
  // What the in-process simulator is started with (plant scenario, line
  // timing); read when it starts.
  SimOptions simOptions;
  // Set only by an explicit choice (--simulate, the COM menu's "Simulator"):
  // without it kSimulatorPort is an ordinary, unusable COM number, so a
  // [comport] port of 0 never passes made-up plant data off as real.
  bool simulatorChosen = false;
  // The in-process simulator, once started.
  PtySimulator* Simulator() const { return simulator_.get(); }
  // The device COM n is opened on: the simulator for a chosen
  // kSimulatorPort or a configured "sim", else [comport] comN.
  QString DeviceForCom(int comNumber);

private:
  QString StartPtySimulator(QString* error);

  std::unique_ptr<PtySimulator> simulator_;
  QString simulatorDevice_;
};

}  // namespace ulv
