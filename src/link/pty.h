#pragma once
// A pseudo-terminal pair in raw mode. The master end plays the far side of a
// serial line (the simulated controller); the slave path is opened by the
// tool like any serial device. The pair keeps its own slave descriptor open
// so that the master never sees a hang-up while the tool closes and reopens
// the device, and so that bytes written before the tool opens are not echoed.
#include <QString>

namespace ulv {

class PtyPair {
public:
  PtyPair() = default;
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  // Creates the pair; both ends raw (no echo, no line editing, 8 bits).
  bool Open(QString* error);
  // Closes both ends.
  void Close();
  // Closes the master end: the tool's side sees the device vanish.
  void CloseMaster();

  bool IsOpen() const { return master_ >= 0; }
  int MasterFd() const { return master_; }
  QString SlavePath() const { return slavePath_; }

private:
  int master_ = -1;
  int slave_ = -1;
  QString slavePath_;
};

// Raw 8-bit mode on a terminal descriptor (no echo, no signals, no output
// processing, reads return what is there). False when it is no terminal.
bool MakeRawTerminal(int fd);

}  // namespace ulv
