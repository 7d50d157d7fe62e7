#pragma once
// TFiles, the paths and files window: the units' version tags, the
// catalogue's identification and every path the configuration resolved to,
// rebuilt each time the window is shown.
#include <QWidget>

#include "common/configuration.h"
#include "records/error_catalogue.h"

class QPlainTextEdit;
class QToolBar;

namespace ulv {

class TFiles : public QWidget {
  Q_OBJECT

public:
  TFiles(const Configuration& config, const ErrorCatalogue* catalogue, QWidget* parent = nullptr);

  QToolBar* ToolBar1 = nullptr;
  QPlainTextEdit* Memo1 = nullptr;

  void BuildListing();

protected:
  // Explicitly shown (not merely uncovered with its parent): reload.
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

private:
  const Configuration& config_;
  const ErrorCatalogue* catalogue_;
};

}  // namespace ulv
