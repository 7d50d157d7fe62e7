#include "stream/stream_recorder.h"

#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QToolButton>

#include "common/log_hooks.h"
#include "common/virtual_clock.h"
#include "link/fake_transfers.h"
#include "link/qel_utils.h"
#include "sim/plant_model.h"
#include "stream/recorder_window.h"
#include "support/test_support.h"

using namespace Qt::StringLiterals;

namespace ulv::test {
namespace {

const QByteArray kFetch = H("F2 4B 03");
const QByteArray kHeader = H("F2 4B 02");
const QByteArray kRun = H("F3 4B 01 03");

// The recorder on the scripted queue, answered by the simulated controller;
// Dokudir and [Tarvo] come from a configuration in a temporary folder.
struct Rig {
  GermanLocale german;
  QTemporaryDir tmp;
  VirtualClock clock;
  LogHooks logs;
  Configuration config{clock, logs};
  FakeTransfers transfers;
  QelUtils utils{transfers, clock};
  PlantIdentity identity{transfers, utils, clock};
  EventDecoder decoder;
  PlantModel plant;
  std::unique_ptr<StreamRecorder> rec;
  QStringList memo, errors;
  std::vector<bool> ended;

  explicit Rig(const SimStreamSetup& setup = {}, const QString& doku = u"doku"_s) : plant(Plant(setup)) {
    QDir(tmp.path()).mkdir(u"doku"_s);
    WriteBytes(tmp.filePath(u"u.ini"_s), "[files]\r\nDokuDir=" + tmp.filePath(doku).toUtf8() + "\r\n");
    config.Start({u"prog"_s, u"/i="_s + tmp.filePath(u"u.ini"_s)}, tmp.path());
    rec = std::make_unique<StreamRecorder>(transfers, clock, clock, config, identity, decoder);
    rec->OnMemoClear = [this] { memo.clear(); };
    rec->OnMemoLines = [this](const QStringList& l) { memo << l; };
    rec->OnFileError = [this](const QString& m) { errors << m; };
    rec->OnFetchEnded = [this](bool ok) { ended.push_back(ok); };
  }
  static Scenario Plant(const SimStreamSetup& setup) {
    Scenario s = DefaultScenario();
    s.stream = setup;
    return s;
  }
  // Answers what waits, as the controller would; silence is a time-out.
  void Serve(int limit = 100000) {
    for (int n = 0; n < limit && !transfers.waiting.empty(); ++n) {
      if (std::optional<QByteArray> r = plant.Answer(transfers.Head()))
        transfers.Reply(*r);
      else
        transfers.TimeOut();
    }
  }
  int Sent(const QByteArray& command) const {
    return static_cast<int>(std::count(transfers.accepted.begin(), transfers.accepted.end(), command));
  }
  QByteArray File() const { return ReadBytes(rec->CapturePath()); }
  int FileLines() const { return static_cast<int>(File().count("\r\n")); }
};

SimStreamSetup Stream(int count, int wrap, int size, std::vector<SimStreamFault> faults = {},
                      uint16_t magic = 1998, bool present = true) {
  SimStreamSetup s;
  s.count = count;
  s.wrap = wrap;
  s.size = size;
  s.faults = std::move(faults);
  s.magic = magic;
  s.present = present;
  return s;
}

struct FetchCase {
  const char* name;
  SimStreamSetup setup;
  int fetches;  // F2 4B 03 answered or not
  int entries;
  bool ok;
  const char* fetchText;
};

void PrintTo(const FetchCase& c, std::ostream* os) { *os << c.name; }

class FetchTable : public ::testing::TestWithParam<FetchCase> {};

// Whatever way a fetch ends, the file holds the head and every entry counted,
// on whole CR LF lines, the button is released, and recording restarts only
// after a complete fetch.
TEST_P(FetchTable, FetchEndsWithWholeFile) {
  const FetchCase& c = GetParam();
  Rig rig(c.setup);
  ASSERT_TRUE(rig.rec->Fetch());
  rig.Serve();
  EXPECT_EQ(rig.ended, std::vector<bool>{c.ok});
  EXPECT_EQ(rig.Sent(kFetch), c.fetches);
  EXPECT_EQ(rig.rec->WriteCount(), c.entries);
  EXPECT_EQ(rig.FileLines(), 5 + c.entries);
  EXPECT_TRUE(rig.File().endsWith("\r\n"));
  EXPECT_EQ(rig.Sent(kRun), c.ok ? 1 : 0);
  EXPECT_FALSE(rig.rec->View().fetching);
  EXPECT_EQ(rig.rec->View().fileCaption, u"FILE CLOSED"_s);
  EXPECT_EQ(rig.rec->View().fetch, QString::fromLatin1(c.fetchText));
}

using R = SimStreamRequest;
INSTANTIATE_TEST_SUITE_P(
    Stream, FetchTable,
    ::testing::Values(FetchCase{"Seven", Stream(7, 0, 500), 3, 7, true, "0"},
                      FetchCase{"WrappedReadsTheRing", Stream(7, 1, 500), 167, 500, true, "0"},
                      FetchCase{"EmptyStream", Stream(0, 0, 500), 0, 0, true, "0"},
                      FetchCase{"SizeZero", Stream(5, 2, 0), 0, 0, true, "0"},
                      FetchCase{"CountAboveSize", Stream(600, 0, 500), 167, 500, true, "0"},
                      FetchCase{"WrongMagic", Stream(7, 0, 500, {}, 1999), 0, 0, false, "0"},
                      FetchCase{"LostFetchReply", Stream(9, 0, 500, {{R::Fetch, 2, false}}), 2, 3, false, "???"},
                      FetchCase{"WrongFetchByte", Stream(9, 0, 500, {{R::Fetch, 3, true}}), 3, 6, false, "???"},
                      FetchCase{"LostHeader", Stream(9, 0, 500, {{R::Header, 2, false}}), 0, 0, false, "0"},
                      FetchCase{"NoStreamFamily", Stream(9, 0, 500, {}, 1998, false), 0, 0, false, "0"}),
    [](const ::testing::TestParamInfo<FetchCase>& info) { return std::string(info.param.name); });

// The capture file's bytes: the five head lines, a kind 0x0A entry as its
// time text, others as hex; the header shows as the window shows it.
TEST(StreamRecorder, CaptureFileBytesAndHeaderView) {
  Rig rig;
  ASSERT_TRUE(rig.rec->Fetch());
  const QByteArray header = H("FE CE 07 01 00 27 21 00 2D 00 02 00 00 F4 01");
  rig.transfers.Reply(H("F1 01"));
  rig.transfers.Reply(header);
  rig.transfers.Reply(header);
  rig.transfers.Reply(H("FC 0A 2D 00 00 01 05 0A 10 EE EE EE EE"));
  const RecorderView& v = rig.rec->View();
  EXPECT_EQ(rig.File(), " \r\n             Datum: 14.03.26 10:00:00\r\n           Kennung: \r\n"
                        "  Software Version: \r\n    EEprom Version: \r\n 0: 1:30\r\n01,05,0A,10\r\n"_ba);
  EXPECT_EQ(rig.memo.mid(9), QStringList({u"-- 0: 1:30   "_s, u"  128   RD 1:10,5"_s}));
  EXPECT_EQ(rig.memo.mid(6, 3),
            QStringList({u"reader.040604/ulv_tarvo.310702"_s, u"dekodiert mit unit26.040402"_s, u" "_s}));
  EXPECT_EQ(v.mask, 0x27);
  EXPECT_EQ(v.openLed, Led::Green);
  EXPECT_EQ(v.stopLed, Led::Green);
  EXPECT_EQ(QStringList({v.size, v.openDate, v.openTime, v.count, v.wrap}),
            QStringList({u"500"_s, u"02.02.00"_s, u" 0: 1:30"_s, u"2"_s, u"0"_s}));
  EXPECT_EQ(rig.ended, std::vector<bool>{true});
}

// Failures around the file and the link: nothing is sent without a file; a
// write error, a dropped request, a refusal and a lost link all end the fetch.
TEST(StreamRecorder, FailuresTakeTheEndPath) {
  Rig noDir(Stream(7, 0, 500), u"missing"_s);
  EXPECT_FALSE(noDir.rec->Fetch());
  EXPECT_TRUE(noDir.transfers.attempted.empty());
  ASSERT_EQ(noDir.errors.size(), 1);
  EXPECT_TRUE(noDir.errors[0].contains(noDir.rec->CapturePath()));

  // A head that cannot be written leaves the old capture as it was.
  {
    Rig full(Stream(7, 0, 500));
    WriteBytes(full.rec->CapturePath(), "old capture\r\n");
    {
      FileSizeLimit limit(10);
      EXPECT_FALSE(full.rec->Fetch());
    }
    EXPECT_EQ(full.File(), QByteArray("old capture\r\n"));
    EXPECT_FALSE(QFile::exists(full.rec->CapturePath() + u".part"_s));
    EXPECT_EQ(full.errors.size(), 1);
    EXPECT_TRUE(full.transfers.attempted.empty());
  }

  for (int way = 0; way < 4; ++way) {
    Rig rig(Stream(90, 0, 500));
    ASSERT_TRUE(rig.rec->Fetch());
    rig.Serve(6);  // stop, header, fetch header and three fetch replies
    ASSERT_EQ(rig.rec->WriteCount(), 9);
    if (way == 0) {
      FileSizeLimit limit(static_cast<rlim_t>(rig.File().size() + 20));
      rig.Serve();
    } else if (way == 1) {
      rig.transfers.AddTransfer(H("F1 00"), 2, nullptr);  // another user's request times out
      rig.transfers.waiting.push_back(rig.transfers.waiting.front());
      rig.transfers.waiting.pop_front();
      rig.transfers.TimeOut();
    } else if (way == 2) {
      rig.transfers.refuseAll = true;
      rig.Serve(1);
    } else {
      rig.rec->SetLinked(false);
      rig.Serve();
    }
    EXPECT_EQ(rig.ended, std::vector<bool>{false}) << way;
    EXPECT_EQ(rig.FileLines(), 5 + rig.rec->WriteCount()) << way;
    EXPECT_TRUE(rig.File().endsWith("\r\n")) << way;
    EXPECT_EQ(rig.errors.size(), way == 0 ? 1 : 0) << way;
    EXPECT_EQ(rig.Sent(kRun), 0) << way;
  }
}

// A second press aborts the running fetch; the file then holds one whole
// capture. "Stop" before the header reply leaves one entry, during the fetch
// one more; Run and ReWrite wait for the fetch to end.
TEST(StreamRecorder, DoublePressStopAndIgnoredButtons) {
  Rig rig(Stream(20, 0, 500));
  ASSERT_TRUE(rig.rec->Fetch());
  rig.Serve(5);
  rig.rec->Run();
  EXPECT_FALSE(rig.rec->ReWrite());
  EXPECT_EQ(rig.Sent(kRun), 0);
  ASSERT_TRUE(rig.rec->Fetch());
  rig.Serve();
  EXPECT_EQ(rig.ended, std::vector<bool>({false, true}));
  EXPECT_EQ(rig.FileLines(), 5 + 20);

  for (int serveFirst : {0, 4}) {
    Rig stop(Stream(20, 0, 500));
    stop.rec->Fetch();
    stop.Serve(serveFirst);
    const int before = stop.rec->WriteCount();
    stop.rec->StopFetch();
    stop.Serve();
    EXPECT_EQ(stop.rec->WriteCount(), before + 1);
    EXPECT_EQ(stop.ended, std::vector<bool>{true});
  }
}

// Polling keeps one header request outstanding; a lost or dropped one frees
// the next tick.
TEST(StreamRecorder, PollingKeepsOneHeaderOutstanding) {
  Rig rig;
  rig.rec->Start();
  EXPECT_EQ(rig.rec->View().interfaceCaption, RecorderView{}.interfaceCaption);
  rig.clock.Advance(5000);
  EXPECT_EQ(rig.Sent(kHeader), 1);
  rig.transfers.TimeOut();
  rig.clock.Advance(1000);
  EXPECT_EQ(rig.Sent(kHeader), 2);
  for (int tick = 0; tick < 3; ++tick) {
    rig.Serve();
    rig.clock.Advance(1000);
  }
  EXPECT_EQ(rig.Sent(kHeader), 5);
  rig.Serve();
  EXPECT_EQ(rig.plant.Stream().Count(), 40 + 4 * 3);  // the car ran on at each answered poll
}

struct CheckCase {
  const char* name;
  bool valid, present;
  uint16_t magic;
  std::vector<SimStreamFault> faults;
  bool expectValid;
  const char* caption;
};

void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.name; }

class InterfaceTable : public ::testing::TestWithParam<CheckCase> {};

TEST_P(InterfaceTable, CheckInterfaceChain) {
  const CheckCase& c = GetParam();
  SimStreamSetup s = Stream(0, 0, 500, c.faults, c.magic, c.present);
  s.interfaceValid = c.valid;
  Rig rig(s);
  rig.rec->CheckInterface();
  rig.Serve();
  EXPECT_EQ(rig.rec->InterfaceValid(), c.expectValid);
  EXPECT_EQ(rig.rec->View().interfaceCaption, QString::fromLatin1(c.caption));
}

INSTANTIATE_TEST_SUITE_P(
    Stream, InterfaceTable,
    ::testing::Values(CheckCase{"Valid", true, true, 1998, {}, true, "INTERFACE VERSION TARVO 2.1.1  "},
                      CheckCase{"TestFailsWrongMagic", false, true, 1999, {}, false, "INTERACE INVALID"},
                      CheckCase{"TestFailsHeaderValidates", false, true, 1998, {}, true,
                                "INTERFACE VERSION TARVO 2.1.1  "},
                      CheckCase{"NoFamily", true, false, 1998, {}, false, "INTERFACE INVALID"},
                      CheckCase{"QueryWrongByte", true, true, 1998, {{R::Query, 1, true}}, false, "INTERFACE INVALID"},
                      CheckCase{"LostTestReplyGoesOn", true, true, 1998, {{R::Test, 1, false}}, true,
                                "INTERFACE VERSION TARVO 2.1.1  "},
                      CheckCase{"NoVersionText", true, true, 1998, {{R::Version, 1, false}}, true,
                                "INTERFACE VERSION 1.2"}),
    [](const ::testing::TestParamInfo<CheckCase>& info) { return std::string(info.param.name); });

// Refusals leave the memo alone and turn h_LED red; "++" and "0" number the
// file and write the number back.
TEST(StreamRecorder, RefusalsAndFileNumbers) {
  Rig rig;
  rig.memo << u"kept"_s;
  rig.transfers.acceptLimit = 2;
  EXPECT_FALSE(rig.rec->ReWrite());
  EXPECT_EQ(rig.memo, QStringList{u"kept"_s});
  EXPECT_EQ(rig.rec->View().hLed, Led::Red);
  for (int i = 0; i < 3; ++i) rig.rec->NextFileNumber();
  EXPECT_EQ(rig.rec->View().fileName, u"Tarvo-3.cap"_s);
  EXPECT_EQ(rig.config.TarvoNummer(), 3);
  rig.rec->ZeroFileNumber();
  EXPECT_EQ(rig.rec->View().fileName, u"Tarvo-0.cap"_s);
  EXPECT_EQ(rig.config.TarvoNummer(), 0);
}

// The window shows what the recorder reports and sends only while linked.
TEST(StreamRecorder, WindowFollowsTheRecorderAndTheLink) {
  Rig rig(Stream(7, 0, 500));
  TForm14 w(*rig.rec);
  QStringList transferred;
  w.TransferDataHook = [&](const QStringList& lines) { transferred = lines; };
  LinkState link;
  rig.transfers.linked = false;
  w.StartRecorder(link);
  auto* fetch = w.findChild<QToolButton*>(u"FetchButton"_s);
  EXPECT_FALSE(fetch->isEnabled());
  rig.transfers.linked = true;
  link.SetLinkState(true);
  ASSERT_TRUE(fetch->isEnabled());
  fetch->click();
  EXPECT_TRUE(fetch->isChecked());
  rig.Serve();
  EXPECT_FALSE(fetch->isChecked());
  EXPECT_EQ(w.findChild<QGroupBox*>(u"GroupBox2"_s)->title(), rig.rec->View().fileCaption);
  EXPECT_EQ(w.findChild<QLineEdit*>(u"Edit3"_s)->toolTip(), rig.rec->CapturePath());
  // The header after the restart: the car has run on.
  EXPECT_EQ(w.findChild<QLabel*>(u"h_Count"_s)->text(), QString::number(rig.plant.Stream().Count()));
  for (int bit = 0; bit < 6; ++bit)
    EXPECT_TRUE(w.findChild<QToolButton*>(u"Bit%1"_s.arg(bit))->isChecked()) << bit;
  w.findChild<QToolButton*>(u"BitBtn1"_s)->click();
  EXPECT_EQ(rig.rec->View().mask, 0);
  w.BitBtn3Click();
  EXPECT_EQ(transferred.size(), 9 + 7);  // head, then every entry of this plant shows
  EXPECT_EQ(transferred, w.Memo()->toPlainText().split(QLatin1Char('\n')));
  link.SetLinkState(false);
  EXPECT_FALSE(fetch->isEnabled());
}

}  // namespace
}  // namespace ulv::test
