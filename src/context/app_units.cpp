#include "context/app_units.h"

namespace ulv {

AppUnits::AppUnits(AppContext& context, SerialLine& serialLine)
    : ctx(context),
      line(serialLine),
      port(serialLine, context.logs, context.clock, context.timers),
      linePort(port, context.timers),
      newCom(port, context.timers),
      queue(port.Link(), linePort, context.logs, context.clock, context.timers),
      modem(port, serialLine, newCom, linePort, queue, context.logs, context.timers),
      utils(queue, context.clock),
      catalogue(context.config.ErrorCatalogueFile()),
      identity(queue, utils, context.clock),
      errorReader(queue, utils, catalogue, identity, context.clock),
      recordReader(queue),
      dataReport(recordReader, identity, context.clock),
      memoryDump(queue),
      recorder(queue, context.clock, context.timers, context.config, identity, decoder) {
  port.DeviceForCom = [this](int comNumber) { return DeviceForCom(comNumber); };
  queue.SetFramedTransport(&newCom);
  modem.ReadConfig = [this](const QString&, const QString& key, const QString&) {
    return ctx.config.ModemValue(key);
  };
  catalogue.OnLoadError = [this](const QString& message) { ctx.config.InfoMessage(message); };
  StartSimulator = [this](QString* error) { return StartPtySimulator(error); };
  // The programs serve the simulator for hours and never read its samples.
  simOptions.sampleLimit = 0;
}

AppUnits::~AppUnits() {
  port.DeviceForCom = nullptr;
  // The port lets go of the pty before the simulator closes it.
  if (port.IsOpen()) line.Close();
  if (simulator_) simulator_->Stop();
}

QString AppUnits::StartPtySimulator(QString* error) {
  if (simulator_ && simulator_->IsRunning()) return simulatorDevice_;
  simulator_ = std::make_unique<PtySimulator>(simOptions);
  QString device;
  if (!simulator_->Start(&device, error)) {
    simulator_.reset();
    return QString();
  }
  simulatorDevice_ = device;
  return device;
}

QString AppUnits::DeviceForCom(int comNumber) {
  const bool simulator = comNumber == kSimulatorPort && simulatorChosen;
  const QString configured = simulator ? QString() : ctx.config.ComDevice(comNumber);
  if (!simulator && configured.compare(QLatin1String("sim"), Qt::CaseInsensitive) != 0) return configured;
  QString error;
  const QString device = StartSimulator ? StartSimulator(&error) : QString();
  port.SetSimulatorDevice(device);
  if (device.isEmpty()) {
    port.PortReport(QStringLiteral("simulator: ") +
                    (error.isEmpty() ? QStringLiteral("not available") : error));
  }
  return device;
}

}  // namespace ulv
