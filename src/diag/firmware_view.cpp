#include "diag/firmware_view.h"

#include <QDir>

#include "common/bytes.h"
#include "common/save_file.h"
#include "system/record_reader.h"

namespace ulv {

namespace {

constexpr int kAckLength = 2;         // F1 + one byte
constexpr int kInterfaceLength = 15;  // FE + text
constexpr int kBlockLength = 13;      // FC + 12 bytes
constexpr int kBlockBytes = 12;

int16_t SignedWord(const QByteArray& b, int offset) {
  return static_cast<int16_t>(ReplyByte(b, offset) | (ReplyByte(b, offset + 1) << 8));
}

bool IsAck(const QByteArray& reply) { return reply == Bytes({0xF1, 0x01}); }

bool Is(const QByteArray& reply, int length, uint8_t head) {
  return reply.size() == length && ReplyByte(reply, 0) == head;
}

}  // namespace

// Travels with each queued request: a request the queue drops without its
// handler ends the sequence with its step's text on the next pass.
struct FirmwareView::Guard {
  std::weak_ptr<FirmwareView*> view;
  int sequence = 0;
  Step step = Step::Interface;
  bool answered = false;
  ~Guard() {
    if (answered) return;
    AfterThisEvent([v = view, s = sequence, st = step] {
      if (const auto p = v.lock()) (*p)->Fail(s, st);
    });
  }
};

FirmwareView::FirmwareView(Transfers& transfers)
    : transfers_(transfers), self_(std::make_shared<FirmwareView*>(this)), buffer_(kBufferSize, '\0') {}

FirmwareView::~FirmwareView() { self_.reset(); }

QString FirmwareView::FailureText(Step step) {
  switch (step) {
    case Step::Interface:
      return {};
    case Step::Acquire:
      return QStringLiteral("Aquire/ x[1] <> $F1");
    case Step::MaxFunction:
      return QStringLiteral("MaxFunction/ x[1] <> $F1");
    case Step::PointXram:
      return QStringLiteral("SetIoPtr = FALSE");
    case Step::XramBlock:
      return QStringLiteral("Blockexpected = FALSE");
    case Step::PointSysVar:
      return QStringLiteral("XSetIoPtr = FALSE");
    case Step::SysVarBlock:
      return QStringLiteral("XBlockexpected = FALSE");
    case Step::PointSonder:
      return QStringLiteral("XSetIoPtrToSonder = FALSE");
    case Step::SonderBlock:
      return QStringLiteral("XSonderReceive = FALSE");
  }
  return {};
}

bool FirmwareView::Queue(Step step) {
  static const struct {
    Step step;
    uint8_t a, b;
    int length;
  } kRequests[] = {{Step::Interface, 0x01, 0x06, kInterfaceLength}, {Step::Acquire, 0x04, 0x00, kAckLength},
                   {Step::MaxFunction, 0x04, 0x01, kAckLength},     {Step::PointXram, 0x04, 0x02, kAckLength},
                   {Step::XramBlock, 0x04, 0x03, kBlockLength},     {Step::SysVarBlock, 0x04, 0x03, kBlockLength},
                   {Step::SonderBlock, 0x04, 0x03, kBlockLength},   {Step::PointSonder, 0x04, 0x04, kAckLength},
                   {Step::PointSysVar, 0x04, 0x05, kAckLength}};
  for (const auto& r : kRequests) {
    if (r.step != step) continue;
    auto guard = std::make_shared<Guard>();
    guard->view = self_;
    guard->sequence = sequence_;
    guard->step = step;
    const bool queued =
        transfers_.AddTransfer(Bytes({0xF3, 0x4B, r.a, r.b}), r.length, [guard](const QByteArray& reply) {
          guard->answered = true;
          if (const auto p = guard->view.lock()) (*p)->OnReply(guard->sequence, guard->step, reply);
        });
    if (!queued) {
      guard->answered = true;
      Fail(sequence_, step);
    }
    return queued;
  }
  return false;
}

void FirmwareView::Fail(int sequence, Step step) {
  const bool readStep = step != Step::Interface && step != Step::Acquire && step != Step::MaxFunction;
  if (readStep) {
    if (sequence != sequence_ || !reading_) return;
    reading_ = false;
  }
  const QString text = FailureText(step);
  if (!text.isEmpty() && OnShowError) OnShowError(text);
}

void FirmwareView::Interface() { Queue(Step::Interface); }

void FirmwareView::Acquire() { Queue(Step::Acquire); }

void FirmwareView::Read(bool ram) {
  ++sequence_;  // replies of a running read change nothing from now on
  reading_ = true;
  ram_ = ram;
  if (OnShowOk) OnShowOk(QStringLiteral("read...."));
  if (OnPrint) OnPrint({});
  Queue(ram ? Step::PointSysVar : Step::PointXram);
}

void FirmwareView::SetInterval(bool on) {
  interval_ = on;
  if (!on) {
    yellow_ = false;
    if (OnIntervalColour) OnIntervalColour(false);
  }
}

void FirmwareView::Blocks(int remaining, int target, Step step) {
  remaining_ = remaining;
  target_ = target;
  Queue(step);
}

void FirmwareView::Copy(const QByteArray& reply) {
  for (int i = 1; i <= kBlockBytes && remaining_ > 0 && target_ < kBufferSize; ++i) {
    buffer_[target_++] = reply[i];
    --remaining_;
  }
}

void FirmwareView::OnReply(int sequence, Step step, const QByteArray& reply) {
  switch (step) {
    case Step::Interface:
      if (Is(reply, kInterfaceLength, 0xFE) && OnInterface) OnInterface(Latin1Text(reply.mid(1, 12)));
      return;
    case Step::Acquire:
      if (!Is(reply, kAckLength, 0xF1)) {
        Fail(sequence, step);
      } else if (IsAck(reply)) {
        Queue(Step::MaxFunction);
      }
      return;
    case Step::MaxFunction:
      if (!Is(reply, kAckLength, 0xF1)) {
        Fail(sequence, step);
        return;
      }
      if (OnMaxFunction) OnMaxFunction(QStringLiteral("Maxfunction=%1").arg(ReplyByte(reply, 1)));
      if (OnShowOk) OnShowOk(QStringLiteral("Maxfunction=%1").arg(ReplyByte(reply, 1)));
      return;
    default:
      break;
  }
  if (sequence != sequence_ || !reading_) return;
  const bool block = step == Step::XramBlock || step == Step::SysVarBlock || step == Step::SonderBlock;
  if (block ? !Is(reply, kBlockLength, 0xFC) : !IsAck(reply)) {
    Fail(sequence, step);
    return;
  }
  switch (step) {
    case Step::PointXram:
      Blocks(kBufferSize, 0, Step::XramBlock);
      break;
    case Step::PointSysVar:
      Blocks(kSonderOffset - kSysVarOffset, kSysVarOffset, Step::SysVarBlock);
      if (OnShowOk) OnShowOk(QStringLiteral("OK"));
      break;
    case Step::PointSonder:
      Blocks(kSonderSize, kSonderOffset, Step::SonderBlock);
      break;
    case Step::XramBlock:
    case Step::SonderBlock:
      Copy(reply);
      if (remaining_ > 0) {
        Queue(step);
      } else {
        Finished(step == Step::SonderBlock);
      }
      break;
    case Step::SysVarBlock:
      Copy(reply);
      Queue(remaining_ > 0 ? Step::SysVarBlock : Step::PointSonder);
      if (OnShowOk) OnShowOk(QStringLiteral("OK"));
      break;
    default:
      break;
  }
}

void FirmwareView::Finished(bool ram) {
  reading_ = false;
  printout_ = ram ? PrintHkfw(buffer_, QStringLiteral("===Sonder====RAM====="), QStringLiteral("===SysVar====RAM====="))
                  : PrintHkfw(buffer_, QStringLiteral("===Sonder===XRAM====="), QStringLiteral("===SysVar===XRAM====="));
  printoutRam_ = ram;
  if (OnShowOk) OnShowOk(QStringLiteral("ohne Fehler"));
  if (OnPrint) OnPrint(printout_);
  // The loop runs only while someone sees it.
  const bool again = interval_ && (!IsVisible || IsVisible());
  if (!ram) {
    yellow_ = again && !yellow_;
    if (OnIntervalColour) OnIntervalColour(yellow_);
  }
  if (again) Read(ram);
}

QStringList FirmwareView::PrintHkfw(const QByteArray& b, const QString& sonderTitle, const QString& sysvarTitle) {
  const auto byte = [&](int i) { return static_cast<int>(ReplyByte(b, i)); };
  const auto word = [&](int i) { return static_cast<int>(ReplyByte(b, i) | (ReplyByte(b, i + 1) << 8)); };
  QStringList out;
  out << QStringLiteral("===header=============")
      << QString::asprintf("       magic %d, %d", SignedWord(b, 0), SignedWord(b, 2))
      << QString::asprintf("     version %d", byte(4)) << QString::asprintf("  io_priotur 0x%2.2X", byte(5))
      << QString::asprintf("  io_prioetg %d", byte(6)) << QString::asprintf("io_BrandFall 0x%2.2X", byte(7))
      << QString() << sonderTitle;
  const int s = kSonderOffset;
  out << QString::asprintf("      status %d", byte(s)) << QString::asprintf("       fahrt 0x%2.2X", byte(s + 1))
      << QString::asprintf("         art 0x%2.2X", byte(s + 2)) << QString::asprintf("       etage %d", byte(s + 3))
      << QString::asprintf("    richtung 0x%.2X", byte(s + 4)) << QString::asprintf("         moc %d", byte(s + 5))
      << QString::asprintf("        ziel %d", byte(s + 6)) << QString() << sysvarTitle;
  const int v = kSysVarOffset;
  out << QString::asprintf("        mocx %d", byte(v)) << QString::asprintf("         moc %d", byte(v + 1))
      << QString::asprintf("    richtung 0x%2.2X", byte(v + 2)) << QString::asprintf("       modus 0x%2.2X", byte(v + 3))
      << QString::asprintf("       flags 0x%2.2X", byte(v + 4)) << QString::asprintf("     nhorder 0x%2.2X", byte(v + 5))
      << QString::asprintf("     nhreply 0x%2.2X", byte(v + 6)) << QString::asprintf("      kopflg 0x%2.2X", byte(v + 7))
      << QString::asprintf("  adrsperren 0x%4.4X", word(v + 8)) << QString::asprintf("     lsutest 0x%4.4X", word(v + 10))
      << QString::asprintf("   feuerwehr 0x%X", byte(v + 12)) << QString::asprintf("     prioetg %d", byte(v + 13))
      << QString::asprintf("     prioanf 0x%4.4X", word(v + 14)) << QString::asprintf("     priotur 0x%2.2X", byte(v + 16))
      << QString::asprintf("     koreafm 0x%2.2X", byte(v + 17))
      << QString::asprintf("  gongfilter 0x%2.2X", byte(v + 18))
      << QString::asprintf("    ss_timer 0x%2.2X", byte(v + 19)) << QString::asprintf("     dynahyd 0x%2.2X", byte(v + 20))
      << QString::asprintf("      flags1 0x%2.2X", byte(v + 21));
  return out;
}

bool FirmwareView::SaveRam(const QString& folder, QString* error) const {
  if (printout_.isEmpty()) {
    if (error) *error = QStringLiteral("Noch keine Daten gelesen: nichts gespeichert.");
    return false;
  }
  const QString dir = folder.isEmpty() ? QDir::currentPath() : folder;
  const QString path = QDir(dir).filePath(printoutRam_ ? QStringLiteral("ram.txt") : QStringLiteral("xram.txt"));
  return SaveWholeFile(path, printout_.join(QStringLiteral("\r\n")).toLatin1() + "\r\n", error);
}

}  // namespace ulv
