// A live source without devices: the page shows no joystick and no key.
#include "zq_setup/ui/ui_server.h"

namespace zq::setup::ui {

namespace {
class NoDevices : public LiveSource {
 public:
  std::string Snapshot() override { return R"({"joysticks":[],"keys":[]})"; }
};
}  // namespace

std::unique_ptr<LiveSource> MakePlatformLiveSource() {
  return std::make_unique<NoDevices>();
}

}  // namespace zq::setup::ui
