#pragma once
// TForm7: the record reader's small progress window ("Read SysVar", a
// progress bar from 0 to 100). Shown while a read runs, hidden when it ends;
// its own Read button is invisible.
#include <QWidget>

#include "system/record_reader.h"

class QProgressBar;
class QPushButton;

namespace ulv {

class TForm7 : public QWidget {
  Q_OBJECT

public:
  explicit TForm7(RecordReader& reader, QWidget* parent = nullptr);
  ~TForm7() override;

  // Visible and in front.
  bool ShowReader();
  QProgressBar* ProgressBar() const { return progress_; }

private:
  RecordReader& reader_;
  QProgressBar* progress_ = nullptr;
  QPushButton* readButton_ = nullptr;
};

}  // namespace ulv
