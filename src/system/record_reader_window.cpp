#include "system/record_reader_window.h"

#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace ulv {

TForm7::TForm7(RecordReader& reader, QWidget* parent) : QWidget(parent, Qt::Window), reader_(reader) {
  setObjectName(QStringLiteral("Form7"));
  setWindowTitle(QStringLiteral("Read SysVar"));
  resize(270, 85);
  auto* layout = new QVBoxLayout(this);
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("ProgressBar1"));
  progress_->setRange(0, 100);
  progress_->setValue(0);
  layout->addWidget(progress_);
  readButton_ = new QPushButton(QStringLiteral("Read"), this);
  readButton_->setObjectName(QStringLiteral("ReadButton"));
  readButton_->setVisible(false);
  layout->addWidget(readButton_);

  QPointer<TForm7> self(this);
  reader_.OnShow = [self] {
    if (self) self->ShowReader();
  };
  reader_.OnClose = [self] {
    if (self) self->hide();
  };
  reader_.OnCaption = [self](const QString& caption) {
    if (self) self->setWindowTitle(caption);
  };
  reader_.OnProgress = [self](int position) {
    // Positions beyond the maximum show a full bar.
    if (self) self->progress_->setValue(std::clamp(position, 0, 100));
  };
}

TForm7::~TForm7() {
  reader_.OnShow = nullptr;
  reader_.OnClose = nullptr;
  reader_.OnCaption = nullptr;
  reader_.OnProgress = nullptr;
}

bool TForm7::ShowReader() {
  show();
  raise();
  return true;
}

}  // namespace ulv
