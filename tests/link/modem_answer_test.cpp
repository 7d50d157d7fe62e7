// Modem answers: lines assembled from whatever chunks arrive, and read.
#include <gtest/gtest.h>

#include <vector>

#include "common/log_hooks.h"
#include "common/virtual_clock.h"
#include "link/com_port.h"
#include "link/hayes_modem.h"
#include "link/memory_line.h"

using namespace Qt::StringLiterals;

namespace ulv::test {
namespace {

struct Lines {
  QString last;
  QString message;
  QString connect;
  int oks = 0;
  int traced = 0;
};

Lines Feed(const std::vector<QByteArray>& chunks) {
  VirtualClock clock;
  LogHooks logs;
  MemoryLine tool;
  MemoryLine modem;
  MemoryLine::Connect(tool, modem);
  tool.SetDelivery(MemoryLine::Delivery::Immediate);
  modem.Open(u"modem"_s, nullptr);
  ComPort port(tool, logs, clock, clock);
  port.OpenDevice(u"mem:tool"_s, 1);
  Lines got;
  port.SetMessage(u"before"_s);
  port.SetLastModemLine(u"before"_s);
  port.OnModemOk = [&] { ++got.oks; };
  port.OnConnectText = [&](const QString& t) { got.connect = t; };
  const uint64_t traced = port.TraceCount();
  for (const QByteArray& c : chunks) modem.Write(c);
  got.last = port.LastModemLine();
  got.message = port.Message();
  got.traced = static_cast<int>(port.TraceCount() - traced);
  return got;
}

std::vector<QByteArray> Bytes(const QByteArray& s) {
  std::vector<QByteArray> out;
  for (char c : s) out.emplace_back(1, c);
  return out;
}

TEST(ModemAnswers, LinesAreAssembledFromAnyChunks) {
  const QByteArray id = "\r\n56000\r\n\r\nOK\r\n";
  const struct {
    const char* name;
    std::vector<QByteArray> chunks;
    QString last;
    QString message;
    QString connect;
    int oks;
    int traced;
  } rows[] = {
      {"whole", {id}, u"OK"_s, u"56000"_s, {}, 1, 2},
      {"byte by byte", Bytes(id), u"OK"_s, u"56000"_s, {}, 1, 2},
      {"split inside", {"\r\n560", "00\r\n\r", "\nO", "K\r\n"}, u"OK"_s, u"56000"_s, {}, 1, 2},
      {"empty lines only", {"\r\n\r\n\r\n"}, u"before"_s, u"before"_s, {}, 0, 0},
      {"no CR yet", {"OK"}, u"before"_s, u"before"_s, {}, 0, 0},
      {"connect", {"\r\nCONNECT 9600/ARQ\r\n"}, u"CONNECT 9600/ARQ"_s, u"CONNECT 9600/ARQ"_s,
       u"CONNECT 9600/ARQ"_s, 0, 1},
      {"control bytes", {QByteArray("A\x01\xFF\r", 4)}, u"A$01$FF"_s, u"A$01$FF"_s, {}, 0, 1},
      {"overlong", {QByteArray(1000, 'A') + "\r"}, QString(ComPort::kModemLineMax, u'A'),
       QString(ComPort::kModemLineMax, u'A'), {}, 0, 1},
  };
  for (const auto& r : rows) {
    const Lines got = Feed(r.chunks);
    EXPECT_EQ(got.last, r.last) << r.name;
    EXPECT_EQ(got.message, r.message) << r.name;
    EXPECT_EQ(got.connect, r.connect) << r.name;
    EXPECT_EQ(got.oks, r.oks) << r.name;
    EXPECT_EQ(got.traced, r.traced) << r.name;
  }
}

TEST(ModemAnswers, WhatALineSays) {
  const struct {
    QString line;
    bool numeric;
    ModemAnswer answer;
    int speed;
  } rows[] = {
      {u"CONNECT 9600"_s, false, ModemAnswer::Connect, 9600},
      {u"CONNECT"_s, false, ModemAnswer::Connect, 0},
      {u"CONNECT 57600/V42"_s, false, ModemAnswer::Connect, 57600},
      {u"BUSY"_s, false, ModemAnswer::Busy, 0},
      {u"NO CARRIER"_s, false, ModemAnswer::NoCarrier, 0},
      {u"NO DIALTONE"_s, false, ModemAnswer::NoDialtone, 0},
      {u"ERROR"_s, false, ModemAnswer::Error, 0},
      {u"RING"_s, false, ModemAnswer::Ring, 0},
      {u"7"_s, true, ModemAnswer::Busy, 0},
      {u"3"_s, true, ModemAnswer::NoCarrier, 0},
      {u"3"_s, false, ModemAnswer::None, 0},
      {u"56000"_s, true, ModemAnswer::None, 0},
      {u"ATDT123"_s, true, ModemAnswer::None, 0},
  };
  for (const auto& r : rows) {
    int speed = -1;
    EXPECT_EQ(ClassifyModemAnswer(r.line, r.numeric, &speed), r.answer) << r.line.toStdString();
    EXPECT_EQ(speed, r.speed) << r.line.toStdString();
  }
}

}  // namespace
}  // namespace ulv::test
