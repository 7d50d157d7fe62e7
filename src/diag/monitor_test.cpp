#include "diag/monitor_test.h"

#include <algorithm>

#include "common/bytes.h"
#include "system/record_reader.h"

namespace ulv {

namespace {

constexpr int kTimerMs = 500;
constexpr int kLcdBlock = 15;

QByteArray Hex(const char* text) { return QByteArray::fromHex(text); }

}  // namespace

// Travels with each queued request: a request the queue drops without its
// handler ends its chain on the next event-loop pass.
struct MonitorTest::Guard {
  std::weak_ptr<MonitorTest*> test;
  Chain chain = Chain::Single;
  int generation = 0;
  bool answered = false;
  ~Guard() {
    if (answered) return;
    AfterThisEvent([t = test, c = chain, g = generation] {
      if (const auto p = t.lock()) (*p)->Dropped(c, g);
    });
  }
};

MonitorTest::MonitorTest(Transfers& transfers, TimerFactory& timers)
    : transfers_(transfers),
      timer1_(timers.CreateTimer()),
      timer2_(timers.CreateTimer()),
      self_(std::make_shared<MonitorTest*>(this)) {
  timer1_->SetInterval(kTimerMs);
  timer1_->OnTimeout = [this] { Tick(); };
  timer2_->SetInterval(kTimerMs);
  timer2_->OnTimeout = [this] {
    const QByteArray data = TakeLineData ? TakeLineData() : QByteArray();
    if (!data.isEmpty() && OnLog) OnLog(QStringLiteral("grp: ") + HexString(data));
    panel5Yellow_ = !panel5Yellow_;
    if (OnPanel5) OnPanel5(panel5Yellow_);
  };
}

MonitorTest::~MonitorTest() { self_.reset(); }

const std::vector<ActionRow>& MonitorTest::ActionTable() {
  static const std::vector<ActionRow> table = [] {
    const std::pair<const char*, int> rows[] = {
        {"F100", 2},     {"F101", 16},    {"F102", 5},     {"F103", 5},     {"F105", 5},     {"F106", 5},
        {"F107", 5},     {"F108", 5},     {"F109", 3},     {"F10B", 9},     {"F10D", 2},     {"F10F", 2},
        {"F114", 2},     {"F11E", 5},     {"F11F", 5},     {"F120", 5},     {"F121", 2},     {"F122", 2},
        {"F124", 2},     {"F125", 2},     {"F126", 2},     {"F127", 2},     {"F128", 2},     {"F129", 7},
        {"F12A", 7},     {"F12B", 7},     {"F12C", 7},     {"F12D", 7},     {"F12E", 7},     {"F12F", 3},
        {"F130", 3},     {"F131", 5},     {"F132", 3},     {"F133", 5},     {"F135", 5},     {"F13A", 2},
        {"F13B", 2},     {"F13C", 2},     {"F13E", 15},    {"F140", 9},     {"F141", 6},     {"F142", 9},
        {"F144", 13},    {"F146", 2},     {"F147", 2},     {"F147", 2},     {"F25500", 2},   {"F25501", 2},
        {"F25502", 13},  {"F25503", 7},   {"F25504", 7},   {"F25505", 16},  {"F25506", 2},   {"F3550700", 8},
        {"F25509", 2},   {"F2550A", 12},  {"F2550C", 2},   {"F2550D", 5},   {"F2550E", 5},   {"F25512", 16},
        {"F25514", 16},  {"F25515", 2},   {"F25517", 2},   {"F25519", 5},   {"F3551A00", 16}, {"F3551A01", 16},
        {"F3551A02", 16}, {"F2551B", 3},  {"F3551C00", 10}, {"F3551C01", 10}, {"F3551C02", 10}, {"F2551D", 4},
        {"F25520", 2},   {"F25521", 15},  {"F25525", 2},   {"F25526", 16},  {"F0205AF100", 2}, {"F0105B00", 2},
        {"F0205B0305", 6}, {"F0D05F00000000000000000000000000", 13}};
    std::vector<ActionRow> t;
    for (const auto& [hex, length] : rows) t.push_back({Hex(hex), length});
    return t;
  }();
  return table;
}

bool MonitorTest::Answered(const QByteArray& reply, int length) {
  return reply.size() == length && ReplyByte(reply, 0) >= 0xF0;
}

QString MonitorTest::CommandText(const QByteArray& command) {
  QString text;
  for (char c : command) text += HexByte(static_cast<uint8_t>(c)) + QLatin1Char('.');
  return text;
}

MonitorLabels MonitorTest::DecodeMonitor(const QByteArray& r) {
  static const char* const kModes[] = {"NORMAL", "PRIO.AUSSEN", "PRIO.INNEN", "FERNABSCHALTUNG",
                                       "BRANDFALL", "LSU", "RÜCKHOLUNG", "INSPEKTION"};
  static const char* const kSafety[] = {"GESCHLOSSEN", "NOTHALT", "UEBERLAST", "LS-A", "LS-B", "LS-A+B",
                                        "DREHTÜR", "KABINENTUER AUF", "SPERRMITTEL", "ZONENFEHLER",
                                        "ANLAGE BLOCKIERT"};
  static const char* const kDoors[] = {"tur.ist zu", "tur.fährt auf", "tur.fährt zu", "tur.ist auf"};
  static const char* const kFaults[] = {"KEINE", "FERNABGESCHALTET", "LSU", "STÖRMELDEZEIT ABGELAUFEN",
                                        "NOTHALT IM SCHACHT", "RIEGEL AUF IM SCHACHT", "ZWANGSHALT", "ZONENFEHLER"};
  const int d0 = ReplyByte(r, 1), d1 = ReplyByte(r, 2), d2 = ReplyByte(r, 3), d3 = ReplyByte(r, 4),
            d4 = ReplyByte(r, 5), d5 = ReplyByte(r, 6);
  MonitorLabels l;
  l.floor = QString::number(d1);
  l.trackBar = std::clamp(7 - d1, 0, 7);
  l.mode = QString::fromUtf8(kModes[d0 & 7]);
  switch (d0 & 0x18) {
    case 0x00:
      l.direction = QStringLiteral("keine"), l.arrow = Richtung::rrNULL;
      break;
    case 0x08:
      l.direction = QStringLiteral("auf"), l.arrow = Richtung::rrAUF;
      break;
    case 0x10:
      l.direction = QStringLiteral("ab"), l.arrow = Richtung::rrAB;
      break;
    default:
      break;  // both bits: unchanged
  }
  l.weiz = (d0 & 0x40) ? QStringLiteral("X") : QString();
  l.target = QString::number(d2);
  if (d3 <= 10) l.safety = QString::fromUtf8(kSafety[d3]);
  l.doorA = QString::fromUtf8(kDoors[d4 & 3]);
  l.doorB = QString::fromUtf8(kDoors[(d4 >> 2) & 3]);
  l.fullLoad = (d4 & 0x40) ? QStringLiteral("VOLL.LAST") : QString();
  l.fault = QString::fromUtf8(kFaults[d5 & 7]);
  return l;
}

QStringList MonitorTest::DecodeConfig(const QByteArray& r) {
  static const std::pair<int, const char*> kCalls[] = {{1, "A-AUF"},  {2, "A-AB"},  {3, "A-STOP"},  {4, "A-ZWS"},
                                                       {8, "B-AUF"},  {16, "B-AB"}, {24, "B-STOP"}, {32, "B-ZWS"}};
  QStringList lines{QStringLiteral("KO=%1").arg(ReplyByte(r, 1))};
  for (int e = 0; e <= 12; ++e) {
    for (const auto& [value, text] : kCalls) {
      if (ReplyByte(r, e + 2) == value) lines << QStringLiteral("e=%1 : %2").arg(e).arg(QLatin1String(text));
    }
  }
  return lines;
}

int MonitorTest::LinkRadio(int value) {
  switch (value) {
    case 1: case 5: case 9: return 1;
    case 2: case 6: case 10: return 2;
    case 7: case 11: return 3;
    case 12: return 4;
    default: return 5;
  }
}

QString MonitorTest::CopyFlags(QString flags, const QByteArray& r) {
  const struct {
    int position, byte, bit;
    char letter;
  } kBits[] = {{2, 2, 1, 'a'}, {3, 2, 0, 'B'}, {4, 1, 3, 'b'}, {5, 1, 2, 'F'}, {6, 1, 1, 'O'}, {7, 1, 0, 'U'}};
  flags = flags.leftJustified(9, QLatin1Char(' '));
  for (const auto& b : kBits) flags[b.position] = (ReplyByte(r, b.byte) >> b.bit) & 1 ? QLatin1Char(b.letter) : QLatin1Char('-');
  return flags;
}

bool MonitorTest::Queue(Chain chain, int generation, const QByteArray& command, int replyLength,
                        std::function<void(const QByteArray&)> handler) {
  auto guard = std::make_shared<Guard>();
  guard->test = self_;
  guard->chain = chain;
  guard->generation = generation;
  const bool queued = transfers_.AddTransfer(command, replyLength, [guard, handler = std::move(handler)](const QByteArray& r) {
    guard->answered = true;
    if (guard->test.lock() && handler) handler(r);
  });
  if (!queued || replyLength == 0) guard->answered = true;
  return queued;
}

void MonitorTest::Dropped(Chain chain, int generation) {
  switch (chain) {
    case Chain::Action:
      if (generation == actionGeneration_ && actionOut_) StopActions();
      break;
    case Chain::Monitor:
      if (generation == monitorGeneration_) monitorReady_ = true;
      break;
    case Chain::Lcd:
      if (generation == lcdGeneration_) EndLcd();
      break;
    case Chain::Copy:
      if (generation == copyGeneration_ && copyOut_) EndCopy();
      break;
    case Chain::Single:
      break;
  }
}

void MonitorTest::LogReply(const QString& label, const QByteArray& reply) {
  if (OnLog) OnLog(label + QStringLiteral("<-") + HexString(reply));
}

// ---- action test ----

void MonitorTest::ToggleActionStop() {
  actionStopped_ = !actionStopped_;
  if (OnActionState) OnActionState(actionStopped_ ? QStringLiteral("Stopped") : QStringLiteral("Run"));
}

void MonitorTest::StopActions() {
  actionStopped_ = true;
  actionOut_ = false;
  if (OnActionState) OnActionState(QStringLiteral("Stopped"));
}

void MonitorTest::Action() {
  if (actionStopped_ || actionOut_) return;  // one request of this chain at a time
  const auto& table = ActionTable();
  const ActionRow* row = nullptr;
  for (size_t tries = 0; tries < table.size() && !row; ++tries) {
    const ActionRow& r = table[static_cast<size_t>(actionIndex_ - 1)];
    actionIndex_ = actionIndex_ % static_cast<int>(table.size()) + 1;
    // F1 25 deletes the error memory: only once the user agreed.
    if (r.command == Hex("F125")) {
      if (!deleteAgreed_) deleteAgreed_ = AskDeleteErrors && AskDeleteErrors();
      if (!*deleteAgreed_) continue;
    }
    row = &r;
  }
  if (!row) return;
  const QString label = CommandText(row->command);
  if (OnCommand) OnCommand(label);
  actionOut_ = true;
  const int generation = ++actionGeneration_;
  if (!Queue(Chain::Action, generation, row->command, row->replyLength, [this, label, generation](const QByteArray& r) {
        if (generation != actionGeneration_) return;
        actionOut_ = false;
        LogReply(label, r);
        Action();
      })) {
    StopActions();
  }
}

// ---- monitor and LCD ----

void MonitorTest::ToggleMonitor() {
  if (timer1_->IsActive()) {
    timer1_->Stop();
    monitorReady_ = false;
    return;
  }
  timer1_->Start();
  monitorReady_ = true;
  waitTicks_ = 0;
  monitorStep_ = 1;
  panel4Yellow_ = true;
  if (OnPanel4) OnPanel4(true);
}

bool MonitorTest::MonitorRunning() const { return timer1_->IsActive(); }

void MonitorTest::Tick() {
  panel4Yellow_ = !panel4Yellow_;
  if (OnPanel4) OnPanel4(panel4Yellow_);
  if (!monitorReady_) {
    // A reply that never comes must not stop the test for good.
    if (++waitTicks_ < kWaitTicks) return;
    ++monitorGeneration_;
    ++lcdGeneration_;
  }
  monitorReady_ = false;
  waitTicks_ = 0;
  const int generation = ++monitorGeneration_;
  const int step = monitorStep_;
  monitorStep_ = monitorStep_ % 3 + 1;
  bool queued = true;
  if (step == 1) {
    if (OnStep) OnStep(QStringLiteral("Quit"));
    queued = Queue(Chain::Monitor, generation, Hex("F3551C00"), 10, [this, generation](const QByteArray&) {
      if (generation == monitorGeneration_) monitorReady_ = true;
    });
  } else if (step == 2) {
    if (OnStep) OnStep(QStringLiteral("Mon"));
    queued = Queue(Chain::Monitor, generation, Hex("F160"), 7, [this, generation](const QByteArray& r) {
      if (generation != monitorGeneration_) return;
      if (Answered(r, 7)) {
        if (OnMonitor) OnMonitor(DecodeMonitor(r));
      } else if (OnStep) {
        OnStep(QStringLiteral("Timeout"));
      }
      monitorReady_ = true;
    });
  } else {
    if (OnStep) OnStep(QStringLiteral("Lcd"));
    lcdFromMonitor_ = true;
    StartLcd();
    return;
  }
  if (!queued) monitorReady_ = true;
}

void MonitorTest::FetchLcd() {
  lcdFromMonitor_ = false;
  StartLcd();
}

void MonitorTest::StartLcd() {
  lcdCounter_ = 1;
  const int generation = ++lcdGeneration_;
  if (!Queue(Chain::Lcd, generation, Hex("F152"), 2, [this, generation](const QByteArray& r) { LcdReply(generation, r); }))
    EndLcd();
}

void MonitorTest::EndLcd() {
  lcdCounter_ = 1;
  monitorReady_ = true;
}

void MonitorTest::LcdReply(int generation, const QByteArray& reply) {
  if (generation != lcdGeneration_) return;
  if (!Answered(reply, lcdCounter_ < 2 ? 2 : 1 + kLcdBlock)) {
    if (OnStep) OnStep(QStringLiteral("Timeout"));
    EndLcd();
    return;
  }
  QString text;
  for (int i = 1; i <= kLcdBlock; ++i) text += QChar(static_cast<char16_t>(ReplyByte(reply, i)));
  if (lcdCounter_ == 2) lcdBuffer_ = text;
  if (lcdCounter_ >= 3 && lcdCounter_ <= 6) lcdBuffer_ = (lcdBuffer_ + text).left(kLcdLength);
  if (++lcdCounter_ >= 7) {
    QString shown = lcdBuffer_;
    for (int i = 0; i < std::min<int>(70, shown.size()); ++i)
      if (shown[i] == QLatin1Char(' ')) shown[i] = QLatin1Char('.');
    if (OnLcd) OnLcd({shown.mid(0, 16), shown.mid(16, 16), shown.mid(32, 16), shown.mid(48, 16)});
    EndLcd();
    return;
  }
  if (!Queue(Chain::Lcd, generation, Hex("F25526"), 16, [this, generation](const QByteArray& r) { LcdReply(generation, r); }))
    EndLcd();
}

// ---- single requests ----

void MonitorTest::Floor(int n) {
  const QByteArray command = Hex("F5551E02") + QByteArray(1, static_cast<char>(n & 0xFF)) + QByteArray(1, '\0');
  const QString label = CommandText(command);
  Queue(Chain::Single, 0, command, 2, [this, label](const QByteArray& r) { LogReply(label, r); });
}

void MonitorTest::Config() {
  const QByteArray command = Hex("F3551A00");
  Queue(Chain::Single, 0, command, 16, [this, label = CommandText(command)](const QByteArray& r) {
    LogReply(label, r);
    if (!Answered(r, 16)) return;
    for (const QString& l : DecodeConfig(r))
      if (OnLog) OnLog(l);
  });
}

void MonitorTest::LinkInfo() {
  const QByteArray command = Hex("F2551B");
  Queue(Chain::Single, 0, command, 3, [this, label = CommandText(command)](const QByteArray& r) {
    LogReply(label, r);
    if (Answered(r, 3) && OnRadio) OnRadio(LinkRadio(ReplyByte(r, 1)));
  });
}

void MonitorTest::Group(const QByteArray& command) { Queue(Chain::Single, 0, command, 0, nullptr); }

void MonitorTest::Send80() {
  const QByteArray command = Hex("80");
  Queue(Chain::Single, 0, command, 3, [this, label = CommandText(command)](const QByteArray& r) { LogReply(label, r); });
}

void MonitorTest::ToggleGroupBuffer() {
  if (timer2_->IsActive()) {
    timer2_->Stop();
    return;
  }
  LogReply(QStringLiteral("GStBuffer"), TakeLineData ? TakeLineData() : QByteArray());
  panel5Yellow_ = true;
  if (OnPanel5) OnPanel5(true);
  timer2_->Start(kTimerMs);
}

// ---- copying signals ----

void MonitorTest::CopySignals() {
  copyOn_ = !copyOn_;
  if (copyOn_ && !copyOut_) CopyStep();  // a chain still out goes on by itself
}

void MonitorTest::CopyStep() {
  copyOut_ = true;
  const int generation = ++copyGeneration_;
  if (!Queue(Chain::Copy, generation, Hex("F132"), 3, [this, generation](const QByteArray& r) {
        if (generation != copyGeneration_) return;
        copyOut_ = false;
        if (Answered(r, 3)) {
          copyFlags_ = CopyFlags(copyFlags_, r);
          if (OnCopy) OnCopy(copyFlags_, HexString(r));
        }
        if (copyOn_) {
          CopyStep();
        } else {
          EndCopy();
        }
      })) {
    EndCopy();
  }
}

void MonitorTest::EndCopy() {
  copyOn_ = false;
  copyOut_ = false;
  if (OnCopy) OnCopy(QStringLiteral("-- -- --"), QString());
}

void MonitorTest::StopAll() {
  timer1_->Stop();
  timer2_->Stop();
  monitorReady_ = false;
  actionStopped_ = true;
  if (OnActionState) OnActionState(QStringLiteral("Stopped"));
  copyOn_ = false;
}

}  // namespace ulv
