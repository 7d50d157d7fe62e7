#pragma once
// The firmware data view's logic (window TForm1): the special firmware's
// interface text, its acquire and highest function number, and the read of
// its data area hkfw_t from XRAM (header, special run, system variables) or
// of the live system variables and special run from RAM, printed field by
// field. One read sequence at a time: a new "Read" supersedes a running one
// (sequence number), and every failure path ends it with its step's text.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "link/transfers.h"

namespace ulv {

class FirmwareView {
public:
  static constexpr int kBufferSize = 44;  // HkfwBuffer
  static constexpr int kSysVarOffset = 10;
  static constexpr int kSonderOffset = 32;
  static constexpr int kSonderSize = 7;

  explicit FirmwareView(Transfers& transfers);
  ~FirmwareView();

  void Interface();
  void Acquire();
  // "Read" in XRAM or RAM mode.
  void Read(bool ram);
  // "Intervall": a finished read starts the next one while it is set and
  // the window is seen.
  void SetInterval(bool on);
  bool IsReading() const { return reading_; }
  QByteArray Buffer() const { return buffer_; }

  // The printout of `buffer` with the two section titles.
  static QStringList PrintHkfw(const QByteArray& buffer, const QString& sonderTitle, const QString& sysvarTitle);
  // "SaveRam": the last complete printout into `folder` as ram.txt or
  // xram.txt after the mode it was read in (Latin-1, CR LF). False with
  // `error` set when there is none or the write failed (the old file stays).
  bool SaveRam(const QString& folder, QString* error) const;

  std::function<bool()> IsVisible;
  std::function<void(const QString& text)> OnInterface;  // Interf
  std::function<void(const QString& text)> OnMaxFunction;  // Edit1
  std::function<void(const QString& text)> OnShowOk;
  std::function<void(const QString& text)> OnShowError;
  std::function<void(const QStringList& lines)> OnPrint;  // Memo2's whole text
  // The Intervall box's background: yellow or the normal colour.
  std::function<void(bool yellow)> OnIntervalColour;

private:
  struct Guard;
  enum class Step { Interface, Acquire, MaxFunction, PointXram, XramBlock, PointSysVar, SysVarBlock, PointSonder, SonderBlock };

  bool Queue(Step step);
  void OnReply(int sequence, Step step, const QByteArray& reply);
  void Fail(int sequence, Step step);
  void Blocks(int remaining, int target, Step step);
  void Copy(const QByteArray& reply);
  void Finished(bool ram);
  static QString FailureText(Step step);

  Transfers& transfers_;
  std::shared_ptr<FirmwareView*> self_;
  QByteArray buffer_;
  int sequence_ = 0;
  bool reading_ = false;
  bool ram_ = false;
  bool interval_ = false;
  bool yellow_ = false;
  int remaining_ = 0;
  int target_ = 0;
  QStringList printout_;
  bool printoutRam_ = false;
};

}  // namespace ulv
