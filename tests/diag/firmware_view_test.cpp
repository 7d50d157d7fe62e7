#include "diag/firmware_view.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "common/save_file.h"
#include "link/fake_transfers.h"
#include "sim/plant_model.h"

using namespace Qt::StringLiterals;

namespace ulv::test {
namespace {

struct FirmwareRig {
  FakeTransfers queue;
  PlantModel plant;
  FirmwareView view{queue};
  QStringList ok, errors, printed;
  int prints = 0;
  bool visible = true;
  FirmwareRig() {
    view.OnShowOk = [this](const QString& t) { ok << t; };
    view.OnShowError = [this](const QString& t) { errors << t; };
    view.OnPrint = [this](const QStringList& l) { printed = l, prints += !l.isEmpty(); };
    view.IsVisible = [this] { return visible; };
  }
  // Answers from the simulator; the n-th request (1 = first) gets `fault`.
  void Run(int faultAt = 0, const QByteArray& fault = {}, int limit = 50) {
    for (int n = 1; n <= limit && !queue.waiting.empty(); ++n)
      queue.Reply(n == faultAt ? fault : plant.Answer(queue.Head()).value());
  }
};

TEST(FirmwareView, XramAndRamReadsPrintTheArea) {
  FirmwareRig rig;
  rig.view.Read(false);
  rig.Run();
  EXPECT_EQ(rig.queue.accepted.size(), 5u);  // the pointer and 12 + 12 + 12 + 8 bytes
  EXPECT_EQ(rig.view.Buffer(), SimFirmware::XramArea());
  EXPECT_EQ(rig.printed, FirmwareView::PrintHkfw(SimFirmware::XramArea(), u"===Sonder===XRAM====="_s,
                                                 u"===SysVar===XRAM====="_s));
  EXPECT_EQ(rig.printed[1], u"       magic -1, 1"_s);
  EXPECT_TRUE(rig.printed.contains(u"     lsutest 0x55AA"_s));
  EXPECT_EQ(rig.ok.last(), u"ohne Fehler"_s);

  FirmwareRig ram;
  ram.view.Read(true);
  ram.Run();
  EXPECT_EQ(ram.queue.accepted.size(), 5u);  // SysVar pointer, 2 blocks, Sonder pointer, 1 block
  EXPECT_EQ(ram.view.Buffer().mid(10, 22), SimSystemRecords::SysVar());
  EXPECT_EQ(ram.view.Buffer().mid(32, 7), SimFirmware::Sonder());
  EXPECT_EQ(ram.view.Buffer().left(10), QByteArray(10, '\0'));  // the header is not read in RAM mode
}

TEST(FirmwareView, EveryFailedStepEndsTheReadWithItsText) {
  const struct {
    bool ram;
    int at;
    const char* text;
  } cases[] = {{false, 1, "SetIoPtr = FALSE"},  {false, 3, "Blockexpected = FALSE"},
               {true, 1, "XSetIoPtr = FALSE"},  {true, 3, "XBlockexpected = FALSE"},
               {true, 4, "XSetIoPtrToSonder = FALSE"}, {true, 5, "XSonderReceive = FALSE"}};
  for (const QByteArray& fault : {QByteArray(), H("F1 00"), H("FC 01 02")}) {
    for (const auto& c : cases) {
      FirmwareRig rig;
      rig.view.Read(c.ram);
      rig.Run(c.at, fault);
      EXPECT_EQ(rig.errors, QStringList{QLatin1String(c.text)}) << c.text;
      EXPECT_FALSE(rig.view.IsReading());
      EXPECT_EQ(rig.prints, 0);
    }
  }
  FirmwareRig refused;
  refused.queue.acceptLimit = 2;
  refused.view.Read(false);
  refused.Run();
  EXPECT_EQ(refused.errors, QStringList{u"Blockexpected = FALSE"_s});
}

TEST(FirmwareView, NewReadSupersedesIntervalLoopsWhileSeenAndSaveRam) {
  FirmwareRig rig;
  QTemporaryDir dir;
  QString error;
  EXPECT_FALSE(rig.view.SaveRam(dir.path(), &error));
  EXPECT_FALSE(QFile::exists(dir.filePath(u"xram.txt"_s)));
  rig.view.Read(false);
  rig.view.Read(true);  // the XRAM replies change nothing
  rig.Run();
  EXPECT_EQ(rig.prints, 1);
  EXPECT_EQ(rig.printed[7], u"===Sonder====RAM====="_s);

  rig.view.SetInterval(true);
  rig.view.Read(false);
  rig.Run(0, {}, 12);
  EXPECT_GE(rig.prints, 3);
  rig.visible = false;
  rig.Run();
  EXPECT_TRUE(rig.queue.waiting.empty());
  ASSERT_TRUE(rig.view.SaveRam(dir.path(), &error)) << error.toStdString();
  QByteArray saved;
  ASSERT_TRUE(ReadWholeFile(dir.filePath(u"xram.txt"_s), &saved));
  EXPECT_EQ(saved, rig.printed.join(u"\r\n"_s).toLatin1() + "\r\n");
}

}  // namespace
}  // namespace ulv::test
