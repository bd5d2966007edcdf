// The configurator's view of [sticks]:
//   POST /api/sticks {"edits": ...}: the sticks connected now, each with the
//   line that pins it and the id the panel would give it, and the pins of the
//   settings as edited, each with the panel's own start-up line (found, not
//   connected, or between twins), matched by the panel's own rules.
// Everything else goes on to `next`.
#pragma once

#include "zq_setup/ui/ui_api.h"
#include "zq_setup/ui/ui_http.h"

namespace zq::setup::ui {

class LiveSource;

class SticksApi : public ApiRoutes {
 public:
  SticksApi(SettingsApi& settings, LiveSource& live, ApiRoutes& next)
      : settings_(settings), live_(live), next_(next) {}
  bool Answer(const Request& req, std::string_view path, std::string_view query,
              Response& res) override;

 private:
  SettingsApi& settings_;
  LiveSource& live_;
  ApiRoutes& next_;
};

}  // namespace zq::setup::ui
