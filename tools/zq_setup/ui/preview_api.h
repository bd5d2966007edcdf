// The preview's requests, in front of the settings requests:
//   POST /api/preview            {"edits": ...}: the next tick starts fresh on them
//   GET  /api/preview            what the page draws (Preview::Model)
//   GET  /api/preview/events     the events since last asked, as zq-replay prints them
//   POST /api/preview/record     record the next ten seconds
//   GET  /api/preview/recording  the last recording, a zq-replay script
#pragma once

#include "zq_setup/ui/preview.h"
#include "zq_setup/ui/ui_api.h"
#include "zq_setup/ui/ui_http.h"

namespace zq::setup::ui {

class LiveSource;

class PreviewApi : public ApiRoutes {
 public:
  // The screen is zq-replay's default, so that its runs agree without options.
  explicit PreviewApi(SettingsApi& settings, ScreenSize screen = ScreenSize{1920, 1080})
      : settings_(settings), preview_(screen) {}
  bool Answer(const Request& req, std::string_view path, std::string_view query,
              Response& res) override;
  // One tick on the devices as `live` read them last.
  void Tick(LiveSource& live);
  void Tick(const DeviceFrame& devices);
  // The last tick's inputs and the way of each axis, as JSON ("" before the
  // first tick).
  std::string ChainEvent() const;
  // The panel's own drawing for the preview (Preview::UsePicture).
  void UsePicture(std::unique_ptr<PanelPicture> picture, std::string why) {
    preview_.UsePicture(std::move(picture), std::move(why));
  }

 private:
  void Edit(const std::string& body, Response& res);

  SettingsApi& settings_;
  Preview preview_;
  bool started_ = false;
};

}  // namespace zq::setup::ui
