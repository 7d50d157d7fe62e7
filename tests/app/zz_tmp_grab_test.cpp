#include "app_rig.h"
#include <QCheckBox>
namespace ulv::test {
class TmpGrab : public AppRig {};
TEST_F(TmpGrab, Grab) {
  Start();
  windows->Send->show();
  windows->Send->grab().save("/tmp/h5shot/send_small.png");
  windows->Send->findChild<QCheckBox*>("ReportCheckBox")->setChecked(true);
  windows->Send->grab().save("/tmp/h5shot/send_big.png");
  printf("small/big sizes ok %d x %d\n", windows->Send->width(), windows->Send->height());
}
}
