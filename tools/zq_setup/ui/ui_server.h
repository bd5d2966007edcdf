// `zq-setup ui`: the configurator served on 127.0.0.1 to the player's browser.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "zq_setup/setup_commands.h"
#include "zq_setup/ui/device_frame.h"

namespace zq::setup::ui {

// What the page's live view shows: the panel's own readings of the devices,
// as one JSON object, asked for 20 times a second while a page is open.
class LiveSource {
 public:
  virtual ~LiveSource() = default;
  virtual std::string Snapshot() = 0;
  // The devices as the last Snapshot() read them, for the preview; a source
  // that reads none leaves `frame` as it is (no keys, no joystick).
  virtual void LastFrame(DeviceFrame& frame) const { (void)frame; }
};

// The platform's devices (joysticks and keyboard as the panel reads them);
// a source with no devices when they cannot be opened.
std::unique_ptr<LiveSource> MakePlatformLiveSource();

struct UiOptions {
  std::string path = "Setup.ini";
  unsigned short port = 0;  // 0: a free one
  bool openBrowser = true;
  int idleSeconds = 30;  // after the last page closed
  // Opens the token page (its file:// address); the default browser when unset.
  std::function<bool(const std::string&)> openPage;
};

// Serves until Ctrl+C or the idle time after the last page closed. The
// address goes to ctx.out (and to the browser). Returns the exit status.
int RunUi(const UiOptions& options, SetupContext& ctx, LiveSource& live);

// Opens the address in the default browser; false when that failed. A
// failure known only later is told on stderr.
bool OpenInBrowser(const std::string& address);
extern const char* const kNoBrowser;

// The token page on disk, readable by the player alone: in $XDG_RUNTIME_DIR
// when that is the player's private folder, else in a folder made for it
// (on Windows, the user's temporary folder). Removed with the object.
class TokenPageFile {
 public:
  TokenPageFile() = default;
  TokenPageFile(const TokenPageFile&) = delete;
  TokenPageFile& operator=(const TokenPageFile&) = delete;
  ~TokenPageFile() { Remove(); }
  // "" once written, else why it could not be.
  std::string Write(const std::string& html, unsigned short port);
  // The page's file:// address.
  std::string Location() const;
  const std::string& Path() const { return path_; }
  void Remove();

 private:
  std::string path_;
  std::string madeFolder_;  // removed with the page
};

}  // namespace zq::setup::ui

namespace zq::setup::ui {
// The `ui` command of zq-setup's table.
int UiCommand(const SetupOptions& o, const std::vector<std::string>& args, SetupContext& ctx);
}  // namespace zq::setup::ui
