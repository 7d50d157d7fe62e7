#pragma once
// The controller's event stream family (command 0x4B): interface query and
// test, version text, header, run, stop, rewrite and the fetch of three
// entries at a time from a ring that fills as the simulated car runs and
// wraps when full. Set up from the scenario's "stream" object; faults make
// the n-th request of one kind go unanswered or come back with a wrong first
// byte.
#include <QByteArray>
#include <QDateTime>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace ulv {

// Which request of the family a fault hits.
enum class SimStreamRequest { Query, Test, Version, Header, Run, Stop, Rewrite, Fetch };

struct SimStreamFault {
  SimStreamRequest request = SimStreamRequest::Fetch;
  int nth = 1;             // counted from 1 per request kind
  bool wrongByte = false;  // false: no reply at all
  bool late = false;       // the reply comes only when the next request arrives
};

struct SimStreamSetup {
  bool present = true;  // false: a firmware without the family (no replies)
  bool interfaceValid = true;
  uint8_t interfaceVersion = 12;
  QByteArray versionText = "TARVO 2.1.1  ";  // 13 bytes
  uint16_t magic = 1998;
  uint8_t open = 1;
  uint8_t stop = 0;
  uint8_t mask = 0x3F;
  uint16_t day = 9570;         // opened 14.03.26
  uint16_t twoSeconds = 21600;  // at 12:00:00
  int count = 40;  // write index
  int wrap = 0;
  int size = 500;
  // Entries the car adds at each header request while the stream runs.
  int entriesPerPoll = 3;
  std::vector<SimStreamFault> faults;
};

class SimStream {
public:
  using Entry = std::array<uint8_t, 4>;
  static constexpr uint16_t kMagic = 1998;

  explicit SimStream(const SimStreamSetup& setup = {});

  // The reply to a request of the family; nothing for other requests, for a
  // firmware without the family and for a silenced request.
  std::optional<QByteArray> Answer(const QByteArray& request);
  // The car runs on: `n` more events (those the channel mask lets in).
  void Drive(int n);

  int Count() const { return count_; }
  int Wrap() const { return wrap_; }
  int Size() const { return static_cast<int>(ring_.size()); }
  bool Running() const { return stop_ == 0; }
  uint8_t Mask() const { return mask_; }
  // Entries in the order a fetch delivers them.
  std::vector<Entry> Recorded() const;
  int FetchCount() const { return fetches_; }
  // The reply a late fault held back (once).
  std::optional<QByteArray> TakeLateReply();

  std::function<QDateTime()> Now = [] { return QDateTime::currentDateTime(); };

private:
  QByteArray Header() const;
  QByteArray NextFetch();
  Entry NextEvent();
  void Record(const Entry& e);

  SimStreamSetup setup_;
  std::vector<Entry> ring_;
  uint16_t magic_;
  uint8_t open_;
  uint8_t stop_;
  uint8_t mask_;
  uint16_t day_;
  uint16_t twoSeconds_;
  int count_ = 0;
  int wrap_ = 0;
  int cursor_ = 0;  // next entry a fetch delivers, in Recorded() order
  int64_t step_ = 0;
  int fetches_ = 0;
  std::array<int, 8> seen_{};
  std::optional<QByteArray> late_;
};

}  // namespace ulv
