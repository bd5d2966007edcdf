// zq-setup with one SDL virtual joystick plugged in, for the browser tests:
// SDL's virtual sticks exist only inside the process that makes them. Lines
// on standard input move it: "axis N VALUE" (-32768..32767), "button N 0|1".
// It says it is 044f:b10a "zq virtual stick" with serial ZQVS0001, as a USB
// stick would (SDL has no serial for a virtual device).
// The token page's address is printed instead of opened.
// Everything else is the real program: its commands, server and devices.
#include <SDL.h>

#include <iostream>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/linux/virtual_stick.h"
#include "tools/example_setup.h"
#include "zq_setup/ui/ui_server.h"

namespace {

constexpr const char* kName = "zq virtual stick";
std::mutex gMutex;
std::vector<std::string> gPending;

// The build's live devices with the virtual stick plugged in once they are
// open, moved by the lines read since the last refresh.
class VirtualStickDevices : public zq::LiveDevices {
 public:
  explicit VirtualStickDevices(std::unique_ptr<zq::LiveDevices> real) : real_(std::move(real)) {}
  Opened Open() override {
    Opened opened = real_->Open();
    stick_ = zq::OpenVirtualStick(kName, nullptr, 0x044f, 0xb10a);
    if (stick_ == nullptr) std::cerr << "harness: no virtual stick: " << SDL_GetError() << '\n';
    return opened;
  }
  std::vector<zq::LiveStick> Sticks() const override {
    std::vector<zq::LiveStick> sticks = real_->Sticks();
    for (zq::LiveStick& s : sticks) {
      if (s.name == kName && s.pin.serial.Empty()) s.pin.serial.Append("ZQVS0001");
    }
    return sticks;
  }
  uint8_t KeyState(int vk) override { return real_->KeyState(vk); }
  bool PollJoystick(int id, zq::JoyInfoEx& record) override {
    return real_->PollJoystick(id, record);
  }

 protected:
  void Read() override {
    std::vector<std::string> lines;
    {
      std::lock_guard<std::mutex> lock(gMutex);
      lines.swap(gPending);
    }
    for (const std::string& line : lines) {
      std::istringstream in(line);
      std::string what;
      int n = 0, value = 0;
      in >> what >> n >> value;
      if (stick_ == nullptr) continue;
      if (what == "axis") SDL_JoystickSetVirtualAxis(stick_, n, static_cast<Sint16>(value));
      if (what == "button") SDL_JoystickSetVirtualButton(stick_, n - 1, static_cast<Uint8>(value));
    }
    real_->Refresh();
  }

 private:
  std::unique_ptr<zq::LiveDevices> real_;
  SDL_Joystick* stick_ = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  std::unique_ptr<zq::FileOps> ops = zq::MakePlatformFileOps();
  zq::setup::SetupContext ctx{*ops, std::cout, std::cerr, zq::kExampleSetupText};
  ctx.runUi = [](const zq::setup::SetupOptions& o, const std::vector<std::string>&,
                 zq::setup::SetupContext& c) {
    zq::setup::ui::UiOptions options;
    options.path = o.path;
    // The test's browser opens the token page as the player's would: its
    // address goes to standard output instead of to a browser.
    options.openPage = [](const std::string& page) {
      std::cout << "harness: token page " << page << std::endl;
      return true;
    };
    zq::setup::ui::LiveSource live(
        [] { return std::make_unique<VirtualStickDevices>(zq::MakeLiveDevices()); });
    std::thread([] {
      std::string line;
      while (std::getline(std::cin, line)) {
        std::lock_guard<std::mutex> lock(gMutex);
        gPending.push_back(line);
      }
    }).detach();
    return zq::setup::ui::RunUi(options, c, live);
  };
  std::vector<std::string> args(argv + 1, argv + argc);
  return zq::setup::RunSetup(args, ctx);
}
