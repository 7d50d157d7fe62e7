#pragma once
// What the reader and identity tests share: a German locale, a virtual clock
// at 14.03.2026 10:00:00, the scripted queue with the utilities and the plant
// identity on it, and the lines a read lists.
#include <gtest/gtest.h>

#include "common/virtual_clock.h"
#include "link/qel_utils.h"
#include "records/fake_transfers.h"
#include "records/plant_identity.h"
#include "support/test_support.h"

using namespace Qt::StringLiterals;

namespace ulv::test {

// A 16-byte text reply: FF and the text padded with blanks to 15 bytes.
inline QByteArray TextReply(const char* text) { return "\xFF"_ba + QByteArray(text).leftJustified(15, ' '); }

class RecordsTest : public ::testing::Test {
protected:
  std::function<void(const QString&)> Collect() {
    return [this](const QString& l) { lines << l; };
  }

  GermanLocale german;
  VirtualClock clock{QDateTime(QDate(2026, 3, 14), QTime(10, 0, 0))};
  FakeTransfers transfers;
  QelUtils utils{transfers, clock};
  PlantIdentity identity{transfers, utils, clock};
  QStringList lines;
};

}  // namespace ulv::test
