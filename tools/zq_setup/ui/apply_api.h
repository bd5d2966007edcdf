// Applying the opened file: the player's panel started, or closed and
// started again, from the page.
//   GET  /api/panel          whether the player's panel runs, and on which file
//   POST /api/panel/start    starts zq-thrust on the opened file
//   POST /api/panel/restart  asks the running panel to close as its window's
//                            close would, then starts it on the opened file
// The program is the one found beside zq-setup, the file the one opened:
// nothing of either comes from a request.
#pragma once

#include <string>

#include "platform/platform.h"
#include "zq_setup/ui/ui_api.h"
#include "zq_setup/ui/ui_http.h"

namespace zq::setup::ui {

// The system's panel calls, and a stand-in for them in tests.
class PanelControl {
 public:
  virtual ~PanelControl() = default;
  virtual std::string Executable() { return PanelExecutable(); }
  virtual std::string SetupFile(const std::string& path) { return PanelSetupFile(path); }
  virtual PanelStart Start(const std::string& executable, const std::string& setupFile) {
    return StartPanel(executable, setupFile);
  }
  virtual RunningPanel Find() { return FindPanel(); }
  virtual PanelClose Close(int waitMs) { return ClosePanel(waitMs); }
};

class ApplyApi : public ApiRoutes {
 public:
  // How long a panel asked to close may take before the restart gives up.
  static constexpr int kCloseWaitMs = 5000;

  // Routes it does not know go on to `next`.
  ApplyApi(ApiRoutes& next, const SettingsApi& settings, PanelControl& panel)
      : next_(next), settings_(settings), panel_(panel) {}
  bool Answer(const Request& req, std::string_view path, std::string_view query,
              Response& res) override;

 private:
  void Status(Response& res);
  void Start(bool restart, Response& res);

  ApiRoutes& next_;
  const SettingsApi& settings_;
  PanelControl& panel_;
};

}  // namespace zq::setup::ui
