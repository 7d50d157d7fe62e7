#pragma once
// The default edit file image (".smb"): 1040 bytes, format word 0x020A at
// offset 0, a zero word at 2, contents, and at 1038 the checksum
// (sum of bytes 0..1037 - 1) mod 65536, both words little-endian.
#include <QByteArray>
#include <QString>
#include <cstdint>

namespace ulv {

class TSysMod {
public:
  static constexpr int kSize = 1040;
  static constexpr uint16_t kFormatWord = 0x020A;
  static constexpr int kChecksumOffset = 1038;

  TSysMod() { Clear(); }
  // All bytes zero.
  void Clear();
  // Clears the image, reads up to kSize bytes of `path` into it and seals it.
  // False when the file does not exist or cannot be read (the image is then
  // the sealed empty image).
  bool Load(const QString& path);
  // Format word, zero word and checksum.
  void Seal();

  const QByteArray& Image() const { return image_; }
  uint16_t StoredChecksum() const;
  static uint16_t ComputeChecksum(const QByteArray& image);

private:
  QByteArray image_;
};

}  // namespace ulv
