#include "common/sysmod_image.h"

#include <QFile>
#include <QFileInfo>

#include "common/bytes.h"

namespace ulv {

void TSysMod::Clear() { image_ = QByteArray(kSize, '\0'); }

bool TSysMod::Load(const QString& path) {
  Clear();
  bool ok = false;
  QFile file(path);
  if (!path.isEmpty() && QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly)) {
    const QByteArray data = file.read(kSize);
    ok = file.error() == QFileDevice::NoError;
    if (ok) image_.replace(0, data.size(), data);
  }
  Seal();
  return ok;
}

void TSysMod::Seal() {
  image_[0] = static_cast<char>(kFormatWord & 0xFF);
  image_[1] = static_cast<char>(kFormatWord >> 8);
  image_[2] = 0;
  image_[3] = 0;
  const uint16_t sum = ComputeChecksum(image_);
  image_[kChecksumOffset] = static_cast<char>(sum & 0xFF);
  image_[kChecksumOffset + 1] = static_cast<char>(sum >> 8);
}

uint16_t TSysMod::StoredChecksum() const {
  return static_cast<uint16_t>(ReplyByte(image_, kChecksumOffset) |
                               (ReplyByte(image_, kChecksumOffset + 1) << 8));
}

uint16_t TSysMod::ComputeChecksum(const QByteArray& image) {
  uint32_t sum = 0;
  for (int i = 0; i < kChecksumOffset; ++i) sum += ReplyByte(image, i);
  return static_cast<uint16_t>((sum - 1u) & 0xFFFFu);
}

}  // namespace ulv
