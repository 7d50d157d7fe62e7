// The transfer queue in mode 1: requests over the framed transport, the
// partner played by hand.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "common/log_hooks.h"
#include "common/virtual_clock.h"
#include "link/com_port.h"
#include "link/line_port.h"
#include "link/memory_line.h"
#include "link/new_com.h"
#include "link/transfer_queue.h"

using namespace Qt::StringLiterals;

namespace ulv::test {
namespace {

QByteArray Hex(const char* hex) { return QByteArray::fromHex(hex); }

struct FramedQueueRig {
  VirtualClock clock;
  LogHooks logs;
  MemoryLine tool;
  MemoryLine partner;
  ComPort port{tool, logs, clock, clock};
  LinePort line{port, clock};
  TNewCom com{port, clock};
  TransferQueue queue{port.Link(), line, logs, clock, clock};
  std::vector<std::pair<int, QByteArray>> got;
  QStringList logLines;

  FramedQueueRig() {
    MemoryLine::Connect(tool, partner);
    tool.SetDelivery(MemoryLine::Delivery::Immediate);
    partner.Open(u"partner"_s, nullptr);
    line.ComPortNumber = [] { return 1; };
    port.DeviceForCom = [](int) { return u"mem:tool"_s; };
    port.OpenDevice(u"mem:tool"_s, 1);
    queue.SetFramedTransport(&com);
    queue.SetTransport(true);
    port.Link().SetLinkState(true);
    logs.SetReports(u"00000000001"_s);
    logs.WriteLogHook = [this](const QString& l) { logLines << l; };
  }
  bool Add(const QByteArray& command, int replyLength, int id) {
    return queue.AddTransfer(command, replyLength, [this, id](const QByteArray& r) { got.emplace_back(id, r); });
  }
  QByteArray Heard() { return partner.Read(partner.BytesAvailable()); }
  // The partner takes the frame now on its way and acknowledges it.
  QByteArray TakeFrame() {
    Heard();
    partner.Write(Hex("06"));
    const QByteArray frame = Heard();
    partner.Write(Hex("06"));
    return frame;
  }
  // The partner answers with a frame carrying `data` after the request header.
  void Reply(const QByteArray& data) {
    clock.Advance(50);
    partner.Write(Hex("01"));
    Heard();
    partner.Write(QByteArray(1, '\x02') + TNewCom::BuildFrame(data));
    clock.Advance(queue.DelayInterval());
  }
  bool Logged(const QString& text) const {
    for (const QString& l : logLines)
      if (l.endsWith(text)) return true;
    return false;
  }
};

// Only a reply whose length fits its header byte reaches the handler; any
// other reaches it as the substitute.
TEST(FramedQueue, RepliesAreCheckedBeforeDispatch) {
  const struct {
    QByteArray data;
    QByteArray handed;
  } rows[] = {
      {Hex("F101"), Hex("F101")},
      {Hex("F10102"), QByteArray(2, '\0')},
      {Hex("FF") + QByteArray(15, 'x'), Hex("FF") + QByteArray(15, 'x')},
      {Hex("FF") + QByteArray(16, 'x'), QByteArray(2, '\0')},
      {{}, QByteArray(2, '\0')},
  };
  for (const auto& r : rows) {
    FramedQueueRig rig;
    ASSERT_TRUE(rig.Add(Hex("F101"), 2, 1));
    EXPECT_EQ(rig.TakeFrame(), Hex("020628FFFFF1011D"));
    rig.Reply(r.data);
    EXPECT_EQ(rig.got, (std::vector<std::pair<int, QByteArray>>{{1, r.handed}})) << r.data.toHex().constData();
    EXPECT_EQ(rig.queue.Count(), 0);
  }
}

// A refused request and a missing reply both end the head once with the
// substitute after the error delay; the requests behind it are flushed.
TEST(FramedQueue, ErrorsFinishTheHeadOnceAndFlush) {
  for (const bool refused : {true, false}) {
    FramedQueueRig rig;
    if (refused) {
      ASSERT_TRUE(rig.com.SendFrame(TNewCom::NotifyFrame(), nullptr));
    }
    ASSERT_TRUE(rig.Add(Hex("F101"), 2, 1));
    ASSERT_TRUE(rig.Add(Hex("F102"), 3, 2));
    rig.clock.Advance(refused ? TransferQueue::kFramedErrorDelayMs - 1 : TNewCom::kReplyBoundMs);
    EXPECT_TRUE(rig.got.empty());
    rig.clock.Advance(TransferQueue::kFramedErrorDelayMs);
    EXPECT_EQ(rig.got, (std::vector<std::pair<int, QByteArray>>{{1, QByteArray(3, '\0')}})) << refused;
    EXPECT_EQ(rig.queue.Count(), 0);
    EXPECT_TRUE(rig.Logged(u"Send.flush, restart.."_s));
    rig.clock.Advance(20000);
    EXPECT_EQ(rig.got.size(), 1u);
  }
}

// A request without a reply waits for the partner's ACK, then the next goes.
TEST(FramedQueue, AcknowledgedRequestsLetTheNextGo) {
  FramedQueueRig rig;
  ASSERT_TRUE(rig.Add(Hex("F110"), 0, 1));
  ASSERT_TRUE(rig.Add(Hex("F101"), 2, 2));
  EXPECT_EQ(rig.queue.Count(), 2);
  rig.TakeFrame();
  EXPECT_EQ(rig.queue.Count(), 1);
  EXPECT_EQ(rig.TakeFrame(), Hex("020628FFFFF1011D"));
  rig.Reply(Hex("F101"));
  EXPECT_EQ(rig.got, (std::vector<std::pair<int, QByteArray>>{{2, Hex("F101")}}));
}

// A mode switch finishes the head with the substitute; the mode-2 countdown
// never ends a mode-1 request.
TEST(FramedQueue, ModeSwitchFinishesTheHead) {
  FramedQueueRig rig;
  rig.queue.SetTransport(false);
  rig.port.Link().SetLinkState(true);
  ASSERT_TRUE(rig.Add(Hex("F101"), 2, 1));
  EXPECT_GT(rig.queue.LineCountdown(), 0);
  rig.queue.SetTransport(true);
  EXPECT_EQ(rig.queue.LineCountdown(), 0);
  EXPECT_EQ(rig.got, (std::vector<std::pair<int, QByteArray>>{{1, QByteArray(2, '\0')}}));
  rig.port.Link().SetLinkState(true);
  ASSERT_TRUE(rig.Add(Hex("F101"), 2, 2));
  rig.TakeFrame();
  rig.clock.Advance(TransferQueue::kReplyTimeoutMs + 100);
  EXPECT_EQ(rig.got.size(), 1u);
  rig.Reply(Hex("F101"));
  EXPECT_EQ(rig.got.back(), (std::pair<int, QByteArray>{2, Hex("F101")}));
}

}  // namespace
}  // namespace ulv::test
