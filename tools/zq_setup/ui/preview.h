// The configurator's preview: the panel's core loaded from the page's
// unsaved document and ticked on the live devices, exactly as zq-replay runs
// it. Each tick's device changes drive a ScriptSession step by step (`plug`,
// `joy`, `key`, `tick`; while the settings pin sticks, `device`, `attach`,
// `detach` and `joy KEY`), and a recording writes the same steps as script
// lines, so that it replays the same flight offline. The core's events come
// back as values; its sender only captures: nothing goes to the network.
#pragma once

#include <deque>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/placement.h"
#include "platform/panel_picture.h"
#include "platform/script/script_session.h"
#include "zq_setup/ui/device_frame.h"
#include "zq_setup/ui/preview_chain.h"

namespace zq::setup::ui {

constexpr int kRecordTicks = 200;  // ten seconds of 50 ms ticks

class Preview : private EventObserver {
 public:
  explicit Preview(ScreenSize screen) : screen_(screen) {}

  // The panel drawn by the platform's own window code: the model then
  // carries its pixels. Without one (`why` says why) the page draws the
  // labels itself.
  void UsePicture(std::unique_ptr<PanelPicture> picture, std::string why) {
    picture_ = std::move(picture);
    noPicture_ = std::move(why);
  }

  // The settings the next tick starts from, fresh: the bytes of the file as
  // the page has it, or nullopt when there is no file (the defaults).
  void Load(std::string path, std::optional<std::string> bytes);
  // One tick of the panel on the devices as they are now.
  void Tick(const DeviceFrame& devices);

  // The events of the ticks since the last call, as zq-replay prints them.
  std::string TakeEvents();
  // What the page draws: the labels, P, the messages decoded, the errors,
  // and the inputs and the way of each axis in the last tick.
  nlohmann::json Model() const;
  // Its "chain" part alone (null while not running).
  nlohmann::json Chain() const;

  // Restarts the preview at the next tick and keeps its input for
  // kRecordTicks ticks as a zq-replay script.
  void StartRecording();
  // The script of the last finished recording ("" when none).
  const std::string& Recording() const { return recording_; }

 private:
  struct LabelShown {
    std::string text;
    Rgb color, background;
  };
  struct SendShown {
    int64_t tick;
    std::string data;  // the message's bytes
  };
  void Rebuild();
  void Feed(const DeviceFrame& devices);
  void FeedDevices(const DeviceFrame& devices);
  // Runs one script line on the session and records it; false when the
  // session refused it.
  bool Step(const std::string& line);
  void TakeEventText();
  void Record(const std::string& line);
  LabelShown* Shown(Label label);
  nlohmann::json Picture() const;

  void OnWindow(int64_t tick, const Placement& p) override;
  void OnLabelText(int64_t tick, Label label, std::string_view utf8) override;
  void OnColor(int64_t tick, Label label, Rgb rgb) override;
  void OnBackground(int64_t tick, Label label, Rgb rgb) override;
  void OnSend(int64_t tick, std::string_view data) override;
  void OnError(int64_t tick, std::string_view singleByteText) override;

  ScreenSize screen_;
  std::unique_ptr<PanelPicture> picture_;
  std::string noPicture_ = "the page draws the panel in its own font";
  std::string path_;
  std::optional<std::string> bytes_;
  bool loadPending_ = false;
  bool loaded_ = false;
  int generation_ = 0;

  std::ostringstream out_;
  std::unique_ptr<ScriptSession> session_;
  DeviceFrame fed_{};  // what the session's devices report now

  // While the settings pin sticks, the live sticks go in as declared devices
  // (`device`, `attach`, `detach`, `joy KEY`): the session then finds each
  // pinned stick by what tells it apart, in whatever port, as the panel does.
  struct FedDevice {
    std::string key;
    StickIdentity identity;  // as the script line gives it to the session
    std::array<uint32_t, JoyInfoEx::kWords> words{};
    int liveId = -1;  // the live id it is attached at, -1 while detached
  };
  bool pinned_ = false;
  std::vector<FedDevice> devices_;

  std::string events_;              // not yet taken
  std::vector<LabelShown> labels_;  // in the order of kLabelDesign
  std::deque<SendShown> sends_;
  std::deque<std::pair<int64_t, std::string>> errors_;
  std::optional<Placement> placement_;
  InputWatch watch_;

  enum class RecordState { idle, waiting, recording, done, stopped };
  RecordState recordState_ = RecordState::idle;
  int recordTicks_ = 0;
  int idleTicks_ = 0;  // `tick` lines not yet written
  std::string recordText_;
  std::string recording_;
};

}  // namespace zq::setup::ui
