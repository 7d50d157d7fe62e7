#include "diag/memory_debugger.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include "common/bytes.h"
#include "common/virtual_clock.h"
#include "link/fake_transfers.h"
#include "sim/plant_model.h"
#include "system/memory_dump.h"
#include "system/record_reader.h"

using namespace Qt::StringLiterals;

namespace ulv::test {
namespace {

// The debugger on a scripted queue answered by the simulated controller;
// `fault` may replace the answer to the n-th request (1 = the first).
struct DebugRig {
  FakeTransfers queue;
  PlantModel plant;
  VirtualClock clock;
  QelUtils utils{queue, clock};
  RecordReader reader{queue};
  MemoryDump dump{queue};
  MemoryDebugger debugger{queue, utils, reader, dump, clock};
  QStringList results, memo, messages;
  MaintenanceFields fields;
  bool sendEnabled = false;
  int answeredCount = 0;
  std::function<std::optional<QByteArray>(int n, const QByteArray& command)> fault;

  DebugRig() {
    debugger.OnResult = [this](const QString& h, const QString& w, const QString& b, const QString&) {
      results << h + u'|' + w + u'|' + b;
    };
    debugger.OnMemo = [this](const QString& l) { memo << l; };
    debugger.OnMessage = [this](const QString& m) { messages << m; };
    debugger.OnMaintenance = [this](const MaintenanceFields& f) { fields = f; };
    debugger.OnSendEnabled = [this](bool on) { sendEnabled = on; };
  }
  void Run() {
    for (int n = 0; n < 1000 && !queue.waiting.empty(); ++n) {
      const QByteArray head = queue.Head();
      std::optional<QByteArray> a = fault ? fault(++answeredCount, head) : std::nullopt;
      if (!a) a = plant.Answer(head);
      a ? (void)queue.Reply(*a) : (void)queue.TimeOut();
      QCoreApplication::processEvents();
    }
  }
  int Count(const char* prefix) const {
    return static_cast<int>(std::count_if(queue.accepted.begin(), queue.accepted.end(),
                                          [&](const QByteArray& c) { return c.startsWith(H(prefix)); }));
  }
  uint8_t Memory(uint16_t a) { return plant.System().Peek(a); }
  QByteArray MemoryAt(uint16_t a, int n) {
    QByteArray b;
    for (int i = 0; i < n; ++i) b.append(static_cast<char>(Memory(static_cast<uint16_t>(a + i))));
    return b;
  }
};

TEST(MemoryDebugger, AddressesAndTexts) {
  const struct {
    QString basis, offset;
    uint16_t address;
  } addresses[] = {{u"$D000"_s, u"16"_s, 0xD010}, {u"$FFF0"_s, u"32"_s, 0x0010},
                   {u"$7FFFFFFF"_s, u"1"_s, 0x0000}, {u"zz"_s, u"$1g"_s, 0x0000}, {u"4096"_s, u"-1"_s, 0x0FFF}};
  for (const auto& c : addresses) {
    DebugRig rig;
    QString shown;
    rig.debugger.OnAddress = [&](const QString& s) { shown = s; };
    rig.debugger.SetAddress(c.basis, c.offset);
    EXPECT_EQ(shown, MemoryDebugger::AddressText(c.address));
    EXPECT_EQ(rig.queue.Head(), H("F5 04") + Nibbles16(c.address));
  }
  const std::pair<QString, QString> edits[] = {
      {u"12.ab.CD.0f."_s, u"12ABCD0F"_s}, {u"zz.00.00.00."_s, {}}, {u"12.34.56.7"_s, {}}, {u"12.34.56.7g"_s, {}}};
  for (const auto& [text, digits] : edits) EXPECT_EQ(MemoryDebugger::EditedBytes(text).value_or(QString()), digits);

  const QByteArray file = "12345D010 ioptr\r\n1234\nxxxxxC000 low\nxxxxxZ000 bad\nxxxxxd00a a,b\r\n";
  EXPECT_EQ(MemoryDebugger::ParseSymbols(file), (QStringList{u"a,b,d00a"_s, u"ioptr,D010"_s}));
  EXPECT_EQ(MemoryDebugger::SymbolAddress(u"a,b,d00a"_s), std::nullopt);  // the four after the first comma
  EXPECT_EQ(MemoryDebugger::SymbolAddress(u"ioptr,D010"_s), 0xD010);
}

TEST(MemoryDebugger, ReadsDecodeAndFailWithoutChangingTheDisplay) {
  const struct {
    QByteArray setReply, readReply;
    bool answered, shown;
  } cases[] = {{H("F4 00 00 00 0D"), H("F8 04 03 02 01 00 0A 00 0F"), true, true},
               {H("F4 00 00 00 0D"), H("F8 04 03 12 01 00 0A 00 0F"), true, false},  // nibble above 15
               {H("F4 00 00 00 0D"), QByteArray(9, '\0'), true, false},
               {H("F1 00"), {}, false, false}};
  for (const auto& c : cases) {
    DebugRig rig;
    rig.debugger.Read();
    rig.queue.Reply(c.setReply);
    rig.queue.Reply(c.readReply);
    EXPECT_EQ(rig.debugger.ReadAnswered(), c.answered);
    EXPECT_EQ(rig.results, c.shown ? QStringList{u"34.12.A0.F0.|4660 160|52 18 160 240"_s} : QStringList{});
    EXPECT_EQ(rig.debugger.DebugPointer(), c.shown ? 0xF0A0 : 0);
    EXPECT_FALSE(rig.debugger.IsReading());
  }
  // Eight bytes: two halves, answered only at the end; one read at a time,
  // the latest address asked for meanwhile follows.
  DebugRig rig;
  rig.debugger.SetReadEight(true);
  rig.debugger.SetAddress(u"$FFFE"_s, u"0"_s);
  rig.debugger.SetAddress(u"$1000"_s, u"0"_s);
  rig.debugger.SetAddress(u"$2000"_s, u"0"_s);
  rig.queue.Reply(rig.plant.Answer(rig.queue.Head()).value());
  rig.queue.Reply(rig.plant.Answer(rig.queue.Head()).value());
  EXPECT_FALSE(rig.debugger.ReadAnswered());
  EXPECT_EQ(rig.queue.Head(), H("F5 04 02 00 00 00"));  // (FFFE + 4) & FFFF
  rig.Run();
  ASSERT_EQ(rig.results.size(), 2);
  EXPECT_TRUE(rig.results[0].startsWith(HexByte(rig.Memory(0xFFFE)) + u'.' + HexByte(rig.Memory(0xFFFF)) + u'.' +
                                        HexByte(rig.Memory(0)) + u'.'));
  EXPECT_EQ(rig.Count("F5 04 00 00 00 02"), 1);
  EXPECT_EQ(rig.Count("F5 04 00 00 00 01"), 0);
}

TEST(MemoryDebugger, SendWritesAtTheShownAddressOrNowhere) {
  const struct {
    const char* text;
    std::optional<QByteArray> setReply;  // replaces the simulator's F4
    bool written;
    bool sent = written;  // F4 is the answer; its bytes are not used
  } cases[] = {{"12.ab.CD.0F.", std::nullopt, true},
               {"12.AB.CD.0F.", H("F1 00"), false},
               {"12.AB.CD.0F.", QByteArray(5, '\0'), false},
               {"12.AB.CD.0F.", H("F4 00 10 00 0D"), false, true},
               {"12.AB.CD.0F.", H("F4 00 00"), false},
               {"12.AB.XD.0F.", std::nullopt, false}};
  for (const auto& c : cases) {
    DebugRig rig;
    rig.debugger.SetReadEight(true);
    rig.debugger.SetAddress(u"$D000"_s, u"8"_s);
    rig.Run();
    int leftover = 0;
    rig.utils.HexWriteDone = [&](const QByteArray&) { ++leftover; };  // a manual Send never runs it
    rig.fault = [&](int, const QByteArray& cmd) { return cmd.startsWith(H("F5 04")) ? c.setReply : std::nullopt; };
    rig.debugger.Send(QString::fromLatin1(c.text));
    rig.Run();
    const QByteArray at = rig.MemoryAt(0xD008, 4);
    EXPECT_EQ(at == H("12 AB CD 0F"), c.written) << c.text;
    EXPECT_EQ(rig.Count("F9 0C"), c.sent ? 1 : 0) << c.text;
    EXPECT_EQ(leftover, 0);
    EXPECT_FALSE(rig.debugger.IsWriting());
  }
}

TEST(MemoryDebugger, MaintenanceWriteBackStopsAtTheFirstFailure) {
  DebugRig rig;
  rig.debugger.FetchMaintenance();
  rig.Run();
  ASSERT_TRUE(rig.sendEnabled);
  EXPECT_EQ(rig.fields.interval, u"50"_s);
  EXPECT_EQ(rig.fields.minutes, u"30"_s);
  MaintenanceFields f = rig.fields;
  f.trips = u"123456"_s;
  f.minutes = u"90"_s;
  f.flags = u"6"_s;
  ASSERT_TRUE(rig.debugger.SendMaintenance(f));
  rig.Run();
  EXPECT_EQ(rig.memo, QStringList{u"ready"_s});
  EXPECT_EQ(rig.Count("F9 0C"), 4);
  rig.debugger.FetchMaintenance();
  rig.Run();
  EXPECT_EQ(rig.debugger.MaintenanceCopy().mid(14, 4), H("0C 00 80 0D"));  // FZhi 12, FZlo 3456
  EXPECT_EQ(rig.debugger.MaintenanceCopy().mid(22, 2), H("18 15"));        // BSlo 5400
  EXPECT_EQ(rig.fields.trips, u"123456"_s);
  EXPECT_EQ(rig.fields.flags, u"6"_s);

  // The n-th request of the write-back answered wrongly: how many writes went out.
  const struct {
    int at;
    std::optional<QByteArray> reply;
    int writes;
  } faults[] = {{1, H("F1 00"), 0},          {1, H("F4 00 10 03 08"), 0}, {2, QByteArray(5, '\0'), 0},
                {3, QByteArray(9, '\0'), 1}, {6, H("F1 00"), 2},          {7, std::nullopt, 3},
                {5, H("F8 10 20 30 40 50 60 70 80"), 4}};  // write answers' data are not examined
  for (const auto& c : faults) {
    DebugRig r;
    r.debugger.FetchMaintenance();
    r.Run();
    ASSERT_TRUE(r.debugger.SendMaintenance(r.fields));
    const int base = r.answeredCount;
    r.fault = [&](int n, const QByteArray& cmd) -> std::optional<QByteArray> {
      if (n - base != c.at) return std::nullopt;
      return c.reply ? c.reply : r.plant.Answer(cmd).value().left(3);  // a short reply
    };
    r.Run();
    EXPECT_EQ(r.Count("F9 0C"), c.writes) << c.at;
    EXPECT_EQ(r.memo, QStringList{c.writes == 4 ? u"ready"_s : u"error"_s}) << c.at;
    EXPECT_TRUE(r.sendEnabled);
  }
}

TEST(MemoryDebugger, FieldChecksAndWhatAWriteHoldsBack) {
  const struct {
    MaintenanceFields f;
    const char* field;
  } bad[] = {{{u"655360000"_s, u"0"_s, u"0"_s, u"0"_s, u"0"_s}, "FZ"},
             {{u"x"_s, u"0"_s, u"0"_s, u"0"_s, u"0"_s}, "FZ"},
             {{u"0"_s, u"65536"_s, u"0"_s, u"0"_s, u"0"_s}, "Stunden"},
             {{u"0"_s, u"0"_s, u"1093"_s, u"0"_s, u"0"_s}, "Minuten"},
             {{u"0"_s, u"0"_s, u"0"_s, u"-1"_s, u"0"_s}, "W.Interv."},
             {{u"0"_s, u"0"_s, u"0"_s, u"0"_s, u"256"_s}, "W.Byte"}};
  for (const auto& c : bad) {
    DebugRig rig;
    rig.debugger.FetchMaintenance();
    rig.Run();
    const size_t before = rig.queue.accepted.size();
    EXPECT_FALSE(rig.debugger.SendMaintenance(c.f));
    ASSERT_EQ(rig.messages.size(), 1);
    EXPECT_TRUE(rig.messages[0].contains(QLatin1String(c.field))) << rig.messages[0].toStdString();
    EXPECT_EQ(rig.queue.accepted.size(), before);
  }
  // A failed or taken-over SysPerm read leaves "senden" off.
  DebugRig rig;
  rig.fault = [](int n, const QByteArray&) { return n == 3 ? std::optional(QByteArray(16, '\0')) : std::nullopt; };
  rig.debugger.FetchMaintenance();
  rig.Run();
  EXPECT_FALSE(rig.sendEnabled);
  rig.fault = nullptr;
  rig.debugger.FetchMaintenance();
  rig.reader.Read(3, 22, [](const QByteArray&) {});
  rig.Run();
  EXPECT_FALSE(rig.sendEnabled);
  EXPECT_FALSE(rig.debugger.SendMaintenance(rig.fields));

  // While the write waits for its address, no read starts and "dump" is refused.
  rig.debugger.Read();
  rig.Run();
  ASSERT_TRUE(rig.debugger.Send(u"01.02.03.04."_s));
  rig.debugger.Read();
  EXPECT_FALSE(rig.debugger.PrepareDump());
  EXPECT_EQ(rig.queue.waiting.size(), 1u);
  rig.Run();
  EXPECT_EQ(rig.Count("F9 0C"), 1);
  EXPECT_EQ(rig.Count("F1 0B"), 2);  // the read asked for meanwhile came after the write
  EXPECT_TRUE(rig.debugger.PrepareDump());
}

}  // namespace
}  // namespace ulv::test
