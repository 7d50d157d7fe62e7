#include "records/plant_identity.h"

#include <algorithm>
#include <memory>

#include "common/bytes.h"

namespace ulv {

namespace {
constexpr int kTextReplyLength = 16;
constexpr int kEepromReplyLength = 5;
constexpr int kTripReplyLength = 9;

}  // namespace

struct PlantIdentity::Run {
  Output output;
  bool ended = false;
};

PlantIdentity::PlantIdentity(Transfers& transfers, QelUtils& utils, const Clock& clock)
    : transfers_(transfers), utils_(utils), clock_(clock) {}

bool PlantIdentity::IsReading() const {
  // A run lives as long as one of its requests waits in the queue: a request
  // the queue drops after another one's time-out releases it.
  return std::any_of(runs_.begin(), runs_.end(), [](const std::weak_ptr<Run>& w) {
    const auto run = w.lock();
    return run && !run->ended;
  });
}

void PlantIdentity::Emit(const std::shared_ptr<Run>& run, const QString& line) const {
  if (run->output) run->output(line);
}

void PlantIdentity::End(const std::shared_ptr<Run>& run, bool ok) {
  if (run->ended) return;
  run->ended = true;
  if (OnReadEnded) OnReadEnded(ok);
}

bool PlantIdentity::Read(Output output) {
  if (!transfers_.IsLinked()) return false;
  auto run = std::make_shared<Run>();
  run->output = std::move(output);
  runs_.erase(std::remove_if(runs_.begin(), runs_.end(), [](const auto& w) { return w.expired(); }),
              runs_.end());
  runs_.push_back(run);
  Emit(run, QStringLiteral("namen.270702"));
  Emit(run, QStringLiteral("           Datum: ") + clock_.NowText());

  // Every handler records its value, a substitute included; a substitute
  // also ends the read, because the queue drops the requests behind it.
  bool queued =
      transfers_.AddTransfer(Bytes({0xF2, 0x55, 0x12}), kTextReplyLength, [this, run](const QByteArray& r) {
        const QString text = Printable(Latin1Text(r.mid(1)));
        Emit(run, QStringLiteral(" Anlagen-Kennung: ") + text);
        if (OnNameText) OnNameText(text);
        plantId_ = text;
        if (ShowLinkedPlant) ShowLinkedPlant(plantId_);
        if (!IsControllerReply(r)) End(run, false);
      });
  // All five go to the queue in one go, also after one has been refused.
  queued = transfers_.AddTransfer(Bytes({0xF2, 0x55, 0x14}), kTextReplyLength,
                                  [this, run](const QByteArray& r) {
                                    // The header byte stays in: it shows as a leading ".".
                                    const QString text = Printable(Latin1Text(r));
                                    Emit(run, QStringLiteral("         Telefon: ") + text);
                                    telephone_ = text;
                                    if (OnTelephoneText) OnTelephoneText(text);
                                    if (!IsControllerReply(r)) End(run, false);
                                  }) &&
           queued;
  auto refused = std::make_shared<bool>(false);
  utils_.ReadVersion([this, run, refused](const QString& text, ReplyStatus status) {
    if (status == ReplyStatus::Refused) {
      *refused = true;  // called at once, before ReadVersion returns
      return;
    }
    Emit(run, QStringLiteral("Software-Version: ") + text);
    softwareVersion_ = text;
    if (status == ReplyStatus::Substitute) End(run, false);
  });
  queued = !*refused && queued;
  queued = transfers_.AddTransfer(Bytes({0xF1, 0x02}), kEepromReplyLength, [this, run](const QByteArray& r) {
    const int a = ReplyByte(r, 1) | (ReplyByte(r, 2) << 8);
    const int b = ReplyByte(r, 3) | (ReplyByte(r, 4) << 8);
    const QString v = QString::asprintf("%2.2d.%2.2d", b, a);
    Emit(run, QStringLiteral("  EEProm.Version: ") + v);
    eepromVersion_ = v;
    if (!IsControllerReply(r)) End(run, false);
  }) && queued;
  queued = transfers_.AddTransfer(Bytes({0xF1, 0x40}), kTripReplyLength, [this, run](const QByteArray& r) {
    if (ReplyByte(r, 0) != 0xF8) {
      Emit(run, QStringLiteral("fz/länge...???"));
    } else {
      tripCount_ = NibbleWord(r, 1) * 10000 + NibbleWord(r, 5);
      Emit(run, QStringLiteral("  Fahrten-Zähler: ") + QString::number(tripCount_));
    }
    End(run, IsControllerReply(r));
  }) && queued;
  if (!queued) End(run, false);
  return true;
}

void PlantIdentity::WriteIdentityBlock(const Output& output) const {
  if (!output) return;
  output(QStringLiteral(" "));
  output(QStringLiteral("             Datum: ") + clock_.NowText());
  output(QStringLiteral("           Kennung: ") + plantId_);
  output(QStringLiteral("  Software Version: ") + softwareVersion_);
  output(QStringLiteral("    EEprom Version: ") + eepromVersion_);
  output(QStringLiteral(" "));
}

}  // namespace ulv
