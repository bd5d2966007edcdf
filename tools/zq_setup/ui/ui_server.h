// `zq-setup ui`: the configurator served on 127.0.0.1 to the player's browser.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "zq_setup/setup_commands.h"
#include "zq_setup/ui/device_frame.h"

namespace zq::setup::ui {

// What the page's live view shows and the preview runs on: the build's live
// devices read once per tick while a page is open. They are opened when a
// page first asks for them, after it has shown the settings: opening them
// (X, SDL) must not hold up the first page.
class LiveSource {
 public:
  using Opener = std::function<std::unique_ptr<LiveDevices>()>;
  explicit LiveSource(Opener open = MakeLiveDevices) : open_(std::move(open)) {}

  // Reads the devices once; the panel's readings of them as one JSON object
  // for the page's live view.
  std::string Snapshot();
  // The devices as the last Snapshot() read them, for the preview: no key
  // and no joystick before the first.
  const DeviceFrame& Frame() const { return frame_; }
  // The sticks the last Snapshot() found, by the system's ids.
  const std::vector<LiveStick>& Sticks() const { return sticks_; }

 private:
  Opener open_;
  std::unique_ptr<LiveDevices> devices_;
  DeviceFrame frame_{};
  std::vector<LiveStick> sticks_;
};

struct UiOptions {
  std::string path = "Setup.ini";
  unsigned short port = 0;  // 0: a free one
  // No --port: the file's own port (FilePort) while it is free, else a free
  // one. The page's origin then stays the same from one run to the next.
  bool filePort = true;
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
