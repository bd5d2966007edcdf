// The configurator's preview against zq-replay: the same settings (edited in
// the page, then saved) and the same input (device frames, or the live
// source's readings, then a script) must give the same events, byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "platform/script/replay.h"
#include "settings_edit_kit.h"
#include "tools/example_setup.h"
#include "zq_setup/ui/preview_api.h"
#include "zq_setup/ui/sticks_api.h"
#include "zq_setup/ui/ui_http.h"
#include "zq_setup/ui/ui_server.h"
#ifdef ZQ_PREVIEW_SDL_STICK
#include <map>

#include "platform/linux/virtual_stick.h"
#endif

namespace zq::setup::ui {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr unsigned short kPort = 40124;
const std::string kToken = "fedcba9876543210fedcba9876543210";
const std::string kSession = "00112233445566778899aabbccddeeff";

// One tick of input: the example binds Yaxis to joystick 0 word 1, TrimAxis
// to joystick 1 word 4, useYtrim to Ctrl+Y.
struct Step {
  uint32_t y = 32767;
  uint32_t trim = 32767;
  bool ctrlY = false;
};

DeviceFrame FrameOf(const Step& s) {
  DeviceFrame f;
  f.plugged[0] = f.plugged[1] = true;
  f.sticks[0].SetWord(1, s.y);
  f.sticks[1].SetWord(4, s.trim);
  f.keys[17] = f.keys[89] = s.ctrlY ? 128 : 0;
  return f;
}

// The same input written by hand as a zq-replay script.
std::string ScriptOf(const std::vector<Step>& steps) {
  std::string script;
  for (const Step& s : steps) {
    script += "joy 0 1 " + std::to_string(s.y) + "\njoy 1 4 " + std::to_string(s.trim) + "\n";
    std::string key = s.ctrlY ? " 128\n" : " 0\n";
    script += "key 17" + key + "key 89" + key + "tick\n";
  }
  return script;
}

std::vector<std::string> Sends(const std::string& events) {
  std::vector<std::string> sends;
  std::istringstream in(events);
  for (std::string line; std::getline(in, line);) {
    json e = json::parse(line);
    if (e["event"] == "send") sends.push_back(e["data"]);
  }
  return sends;
}

class SetupPreviewTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("zq-setup-preview-" +
            std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    path_ = (dir_ / "Setup.ini").string();
    testkit::WriteBytes(path_, std::string(kExampleSetupText));
    settings_ = std::make_unique<SettingsApi>(*ops_, path_, std::string(kExampleSetupText));
    ASSERT_EQ(settings_->Open(), "");
    preview_ = std::make_unique<PreviewApi>(*settings_);
    handler_ = std::make_unique<RequestHandler>(kToken, kSession, kPort, *preview_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  Response Ask(http::verb verb, const std::string& target, const std::string& body = "") {
    Request req{verb, target, 11};
    req.set(http::field::host, "127.0.0.1:" + std::to_string(kPort));
    req.set(http::field::cookie, "zq_setup_" + std::to_string(kPort) + "=" + kSession);
    if (verb == http::verb::post) {
      req.set(http::field::origin, "http://127.0.0.1:" + std::to_string(kPort));
      req.body() = body;
      req.prepare_payload();
    }
    Response res = handler_->Handle(req).response;
    EXPECT_EQ(res.result(), http::status::ok) << target << ": " << res.body();
    return res;
  }
  std::string Events() { return Ask(http::verb::get, "/api/preview/events").body(); }
  json Model() { return json::parse(Ask(http::verb::get, "/api/preview").body()); }

  // zq-replay on the file as saved, with `script`.
  std::string Replay(const std::string& script) {
    ReplayOptions options;
    options.setupPath = path_;
    std::istringstream in(script);
    std::ostringstream out, err;
    EXPECT_EQ(RunReplay(options, in, "script", out, err), 0) << err.str();
    return out.str();
  }

  fs::path dir_;
  std::string path_;
  std::unique_ptr<FileOps> ops_ = MakePlatformFileOps();
  std::unique_ptr<SettingsApi> settings_;
  std::unique_ptr<PreviewApi> preview_;
  std::unique_ptr<RequestHandler> handler_;
};

TEST_F(SetupPreviewTest, AgreesWithReplayOnEditedCurvesAndTrimRouting) {
  // The stick sweeps, the trim axis moves, and Ctrl+Y switches the Y trim
  // into the axis and back.
  std::vector<Step> steps;
  for (uint32_t y : {0u, 16383u, 32767u, 40000u, 65535u, 52000u}) steps.push_back({y, 32767});
  steps.push_back({52000, 60000, true});
  steps.push_back({52000, 60000, false});
  for (uint32_t y : {20000u, 65535u, 30000u}) steps.push_back({y, 45000});
  steps.push_back({30000, 10000, true});
  steps.push_back({30000, 10000, false});
  steps.push_back({5000, 10000});

  std::set<std::vector<std::string>> distinct;
  for (const char* curve : {"0 100", "0 50 55 60 65 70 75 80 85 92 100",
                            "0 30 35 40 45 50 55 60 65 70 75", "0 150 140 130 120 -10 0 5 200"}) {
    SCOPED_TRACE(curve);
    json edits{{"edits", {{"Y", curve}, {"TrimY", "0 80 90"}}}};
    Ask(http::verb::post, "/api/preview", edits.dump());  // unsaved: the file is untouched
    EXPECT_EQ(testkit::ReadBytes(path_), std::string(kExampleSetupText));
    // After every tick the chain the page shows ends in what the pitch and
    // pitch-trim channels last carried, also while a mixed-in trim lags a tick.
    std::string preview;
    std::string lastY, lastTrimY;
    for (const Step& s : steps) {
      bool wasHeld = Model()["chain"].is_object() && Model()["chain"]["slots"][2]["held"] == true;
      preview_->Tick(FrameOf(s));
      std::string events = Events();
      preview += events;
      for (const std::string& sent : Sends(events)) {
        for (auto [channel, last] : {std::pair{"/87\\", &lastY}, std::pair{"/97\\", &lastTrimY}}) {
          size_t at = sent.find(channel);
          if (at != std::string::npos) *last = sent.substr(at, sent.find('/', at + 1) - at);
        }
      }
      json chain = Model()["chain"];
      json y = chain["axes"][0];
      EXPECT_EQ(y["segment"], lastY.empty() ? "/87\\0" : lastY) << y.dump();
      EXPECT_EQ(y["trimSegment"], lastTrimY.empty() ? "/97\\0" : lastTrimY) << y.dump();
      EXPECT_EQ(chain["slots"][2]["key"], "useYtrim");
      EXPECT_EQ(chain["slots"][2]["held"], s.ctrlY);
      if (s.ctrlY && !wasHeld) {
        EXPECT_EQ(chain["happened"]["text"],
                  std::string("key Ctrl+Y \u2192 trim routing ") +
                      (y["apart"] == true ? "on (pitch trim on its own channel)"
                                          : "off (pitch trim mixed into pitch)"));
      }
    }
    std::vector<std::string> sends = Sends(preview);
    EXPECT_GT(sends.size(), steps.size() / 2);
    distinct.insert(sends);

    Ask(http::verb::post, "/api/save", edits.dump());
    EXPECT_EQ(preview, Replay(ScriptOf(steps)));
    testkit::WriteBytes(path_, std::string(kExampleSetupText));
    ASSERT_EQ(settings_->Open(), "");
  }
  EXPECT_EQ(distinct.size(), 4u) << "each curve gives its own messages";
}

TEST_F(SetupPreviewTest, FirstTickUnchangedWithoutJoystickSendsThePanelsFirstMessage) {
  // The example file: Y, X, Z and two trims, all on missing joysticks.
  preview_->Tick(DeviceFrame{});
  std::vector<std::string> sends = Sends(Events());
  ASSERT_EQ(sends.size(), 1u);
  EXPECT_EQ(sends[0].rfind("R/87\\-1/", 0), 0u) << sends[0];
  // No file yet (the page shows the example's layout): the panel would run
  // on its defaults, and its first message is the Y axis alone.
  fs::remove(path_);
  ASSERT_EQ(settings_->Open(), "");
  Ask(http::verb::post, "/api/preview", "{}");
  preview_->Tick(DeviceFrame{});
  sends = Sends(Events());
  ASSERT_EQ(sends.size(), 1u);
  EXPECT_EQ(sends[0], "R/87\\-1");
  json model = Model();
  EXPECT_EQ(model["settings"], "defaults");
  json first = model["sends"].back();
  EXPECT_EQ(first["tick"], 1);
  EXPECT_EQ(first["text"], "R/87\\-1");
  EXPECT_EQ(first["channels"], json::array({"pitch -1"}));
  // The panel's labels as drawn: joystick 0 is missing, so Y reads -100.
  json labels = model["labels"];
  auto yp =
      std::find_if(labels.begin(), labels.end(), [](const json& l) { return l["name"] == "yp"; });
  ASSERT_NE(yp, labels.end());
  EXPECT_EQ((*yp)["text"], "-100");
}

TEST_F(SetupPreviewTest, AnEditRestartsFreshAndALoadErrorShowsAsThePanelShowsIt) {
  for (int i = 0; i < 3; ++i) preview_->Tick(FrameOf({65535}));
  Events();
  EXPECT_EQ(Model()["tick"], 3);
  int generation = Model()["generation"];
  Ask(http::verb::post, "/api/preview", json{{"edits", {{"Xaxis", "J 1"}}}}.dump());
  preview_->Tick(FrameOf({65535}));
  json model = Model();
  EXPECT_EQ(model["generation"], generation + 1);
  EXPECT_EQ(model["tick"], 1);
  EXPECT_TRUE(model["loadEnded"]);
  ASSERT_FALSE(model["errors"].empty());
  EXPECT_EQ(model["errors"][0]["text"], "'J' is not a valid integer value.");
  // Tools ask under the same rules as the page: without the token, nothing.
  Request foreign{http::verb::get, "/api/preview/events", 11};
  foreign.set(http::field::host, "127.0.0.1:" + std::to_string(kPort));
  EXPECT_EQ(handler_->Handle(foreign).response.result(), http::status::forbidden);
  // The restart is a fresh run: its events begin with the settings load.
  std::string events = Events();
  EXPECT_EQ(json::parse(events.substr(0, events.find('\n')))["tick"], 0);
  EXPECT_NE(events.find("\"event\":\"error\""), std::string::npos);
  // Asking again gives only what came since.
  EXPECT_EQ(Events(), "");
}

// A picture whose pixel at (x, y) is (x, y, 7), keeping the look it was asked for.
class PatternPicture : public PanelPicture {
 public:
  explicit PatternPicture(PanelLook& seen) : seen_(seen) {}
  PanelPixels Draw(const PanelLook& look) override {
    seen_ = look;
    PanelPixels rgb;
    for (int y = 0; y < kDesignHeight; ++y) {
      for (int x = 0; x < kDesignWidth; ++x) {
        rgb.insert(rgb.end(), {static_cast<uint8_t>(x), static_cast<uint8_t>(y), 7});
      }
    }
    return rgb;
  }

 private:
  PanelLook& seen_;
};

std::string FromBase64(const std::string& text) {
  std::string out;
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const char* at = std::strchr(digits, c);
    if (c == '=' || at == nullptr) break;
    bits = bits << 6 | static_cast<uint32_t>(at - digits);
    if ((count += 6) >= 8) out += static_cast<char>(bits >> (count -= 8) & 0xFF);
  }
  return out;
}

TEST_F(SetupPreviewTest, ThePanelsPictureShowsItsLabelsByNameCutToTheWindowsWidth) {
  EXPECT_TRUE(Model()["picture"].is_null());
  preview_->Tick(FrameOf({65535}));
  EXPECT_TRUE(Model()["picture"].is_null());
  EXPECT_NE(Model()["noPicture"], "");  // the page then says why it draws the labels itself

  PanelLook seen;
  preview_->UsePicture(std::make_unique<PatternPicture>(seen), "");
  preview_->Tick(FrameOf({65535}));
  json model = Model();
  EXPECT_EQ(model["noPicture"], "");
  // The look is indexed by label, whatever order the model lists them in.
  for (const json& l : model["labels"]) {
    const PanelLook::LabelLook& look = seen.labels[static_cast<size_t>(
        std::find_if(kLabelDesign.begin(), kLabelDesign.end(), [&](const LabelDesign& d) {
          return LabelName(d.label) == l["name"];
        })->label)];
    EXPECT_EQ(look.text, l["text"]) << l["name"];
    EXPECT_EQ(json::array({look.color.r, look.color.g, look.color.b}), l["color"]) << l["name"];
  }
  EXPECT_EQ(seen.labels[static_cast<size_t>(Label::yp)].text, "100");
  // Placed, the window shows its left 42 columns of each row.
  ASSERT_EQ(model["picture"]["width"], kPanelWidth);
  ASSERT_EQ(model["picture"]["height"], kDesignHeight);
  std::string rgb = FromBase64(model["picture"]["rgb"]);
  ASSERT_EQ(rgb.size(), size_t{kPanelWidth} * kDesignHeight * 3);
  EXPECT_EQ(rgb.substr(41 * 3, 6), std::string({41, 0, 7, 0, 1, 7}));
  // A load that ends early leaves the window at the design's whole width.
  Ask(http::verb::post, "/api/preview", json{{"edits", {{"Xaxis", "J 1"}}}}.dump());
  preview_->Tick(FrameOf({65535}));
  EXPECT_EQ(Model()["picture"]["width"], kDesignWidth);
}

TEST_F(SetupPreviewTest, ARecordingReplaysToTheSameEvents) {
  for (int i = 0; i < 5; ++i) preview_->Tick(FrameOf({65535}));
  Events();
  EXPECT_EQ(Ask(http::verb::post, "/api/preview/record", "{}").result(), http::status::ok);
  for (int t = 0; t < kRecordTicks + 10; ++t) {
    // The stick moves every third tick; Ctrl+Y is pressed now and then.
    Step s{static_cast<uint32_t>((t / 3 * 977) % 65536), t < 100 ? 32767u : 50000u, t % 60 == 30};
    preview_->Tick(FrameOf(s));
    if (t + 1 == kRecordTicks) {
      json rec = Model()["recording"];
      EXPECT_EQ(rec["state"], "done");
      EXPECT_TRUE(rec["ready"]);
    }
  }
  std::string events = Events();
  std::string recorded;  // the ticks of the recording: the run after it goes on
  std::istringstream in(events);
  for (std::string line; std::getline(in, line);) {
    if (json::parse(line)["tick"] <= kRecordTicks) recorded += line + "\n";
  }
  std::string script = Ask(http::verb::get, "/api/preview/recording").body();
  EXPECT_NE(script.find("tick 3\n"), std::string::npos) << "still ticks are written together";
  EXPECT_EQ(Replay(script), recorded);
  EXPECT_GT(Sends(recorded).size(), 50u);
}

StickIdentity Pin(const std::string& line) {
  StickIdentity id;
  EXPECT_EQ(ParseStickPin(line, id), std::nullopt) << line;
  return id;
}

TEST_F(SetupPreviewTest, PinnedSticksRecordAsDevicesAndReplayAcrossAReplug) {
  // A is pinned to 0; B, its twin, is the system's joystick 0 all along and
  // A comes and goes in other ports. The example reads pitch from 0's Y.
  const std::string kA = "044f:b10a \"Flight Stick\" serial=AAA1";
  json edits{{"edits", {{"sticks.0", kA}}}};
  Ask(http::verb::post, "/api/preview", edits.dump());
  auto frame = [&](uint32_t y, int aAt, const char* aPath) {
    DeviceFrame f;
    f.plugged[0] = true;
    f.identity[0] = Pin("044f:b10a \"Flight Stick\" serial=BBB2 path=pci-b");
    f.sticks[0].SetWord(1, 0);  // B pushed forward: never id 0's pitch
    if (aAt >= 0) {
      f.plugged[static_cast<size_t>(aAt)] = true;
      f.identity[static_cast<size_t>(aAt)] = Pin(kA + " path=" + aPath);
      f.sticks[static_cast<size_t>(aAt)].SetWord(1, y);
    }
    return f;
  };
  for (int i = 0; i < 3; ++i) preview_->Tick(frame(50000, 1, "pci-1"));
  Events();
  Ask(http::verb::post, "/api/preview/record", "{}");
  for (int t = 0; t < kRecordTicks + 5; ++t) {
    const uint32_t y = static_cast<uint32_t>((t * 2311) % 65536);
    if (t < 60) {
      preview_->Tick(frame(y, 1, "pci-1"));
    } else if (t < 80) {
      preview_->Tick(frame(y, -1, ""));  // A unplugged
    } else {
      preview_->Tick(frame(y, 2, "pci-2"));  // back, in another port
    }
  }
  ASSERT_EQ(Model()["recording"]["state"], "done");
  std::string script = Ask(http::verb::get, "/api/preview/recording").body();
  for (const std::string& line :
       std::vector<std::string>{"device A 044f:b10a \"Flight Stick\" serial=BBB2 path=pci-b\n",
                                "device B " + kA + " path=pci-1\n", "attach A\n", "attach B\n",
                                "detach B\n", "attach B path=pci-2\n", "joy B 1 "}) {
    EXPECT_NE(script.find(line), std::string::npos) << line << " missing from\n" << script;
  }
  EXPECT_EQ(script.find("joy 0"), std::string::npos) << "no id is named while sticks are pinned";
  std::string recorded;
  std::istringstream in(Events());
  for (std::string line; std::getline(in, line);) {
    if (json::parse(line)["tick"] <= kRecordTicks) recorded += line + "\n";
  }
  // A script's attach takes the lowest free id: A is the system's 1 both times.
  for (const char* said : {"found by serial, the system's joystick 1", "not connected"}) {
    EXPECT_NE(recorded.find(said), std::string::npos) << said << " not reported in\n" << recorded;
  }
  EXPECT_GT(Sends(recorded).size(), 100u) << "pitch follows A, not the still B";
  Ask(http::verb::post, "/api/save", edits.dump());
  EXPECT_EQ(Replay(script), recorded);
}

// Sticks as the build's live devices would list them, each answering polls.
class ListedSticks : public LiveDevices {
 public:
  explicit ListedSticks(std::vector<LiveStick> sticks) : sticks_(std::move(sticks)) {}
  Opened Open() override { return {false, true, {}}; }
  std::vector<LiveStick> Sticks() const override { return sticks_; }
  uint8_t KeyState(int) override { return 0; }
  bool PollJoystick(int id, JoyInfoEx&) override {
    return std::any_of(sticks_.begin(), sticks_.end(),
                       [id](const LiveStick& s) { return s.id == id; });
  }

 protected:
  void Read() override {}

 private:
  std::vector<LiveStick> sticks_;
};

TEST_F(SetupPreviewTest, SticksListsThePinLinesAndMatchesThePinsOfTheEditedSettings) {
  // The system's 0 is the throttle, 1 the stick; pedals pinned, not there.
  std::vector<LiveStick> sticks(2);
  sticks[0].id = 0;
  sticks[0].name = "Throttle";
  sticks[0].pin = Pin("044f:b687 \"Throttle\" path=pci-3");
  sticks[1].id = 1;
  sticks[1].name = "Flight Stick";
  sticks[1].pin = Pin("044f:b10a \"Flight Stick\" serial=0A1B2C path=pci-4");
  LiveSource live([&sticks] { return std::make_unique<ListedSticks>(sticks); });
  live.Snapshot();
  SticksApi api(*settings_, live, *preview_);
  handler_ = std::make_unique<RequestHandler>(kToken, kSession, kPort, api);
  auto ask = [&](const json& edits) {
    return json::parse(Ask(http::verb::post, "/api/sticks", json{{"edits", edits}}.dump()).body());
  };

  json a = ask(json::object());  // the example pins nothing: the system's numbering
  ASSERT_EQ(a["present"].size(), 2u);
  EXPECT_EQ(a["present"][1]["line"], "044f:b10a \"Flight Stick\" serial=0A1B2C");
  EXPECT_EQ(a["present"][0]["line"], "044f:b687 \"Throttle\" path=pci-3");
  EXPECT_EQ(a["present"][1]["readsAs"], 1);
  EXPECT_TRUE(a["present"][1]["pinnedAs"].is_null());
  EXPECT_TRUE(a["pins"].empty());

  const json edits{{"sticks.0", "044f:b10a \"Flight Stick\" serial=0A1B2C"},
                   {"sticks.2", "06a3:0763 \"Pedals\""},
                   {"sticks.5", "44f:b10a"}};
  a = ask(edits);
  EXPECT_EQ(a["present"][1]["pinnedAs"], 0);
  EXPECT_EQ(a["present"][0]["readsAs"], 1) << "the ids not pinned number the sticks left";
  ASSERT_EQ(a["pins"].size(), 2u);
  EXPECT_EQ(a["pins"][0]["state"], "found");
  EXPECT_EQ(a["pins"][0]["device"], 1);
  EXPECT_EQ(a["pins"][0]["text"],
            "joystick 0 is pinned to 044f:b10a \"Flight Stick\" serial=0A1B2C: found by serial, "
            "the system's joystick 1");
  EXPECT_EQ(a["pins"][1]["state"], "missing");
  EXPECT_NE(a["pins"][1]["text"].get<std::string>().find("not connected"), std::string::npos);
  ASSERT_EQ(a["malformed"].size(), 1u);
  EXPECT_EQ(a["malformed"][0]["id"], 5);
  EXPECT_EQ(testkit::ReadBytes(path_), std::string(kExampleSetupText)) << "edits, not saved";

  // What sticks the player has is the page's alone: without the session, nothing.
  Request foreign{http::verb::post, "/api/sticks", 11};
  foreign.set(http::field::host, "127.0.0.1:" + std::to_string(kPort));
  foreign.set(http::field::origin, "http://127.0.0.1:" + std::to_string(kPort));
  foreign.body() = "{}";
  foreign.prepare_payload();
  EXPECT_EQ(handler_->Handle(foreign).response.result(), http::status::forbidden);
  // Only ids 0..15 as the panel looks them up are pins the page writes.
  for (const char* key : {"sticks.16", "sticks.01", "sticks.", "sticks.-1"}) {
    EXPECT_TRUE(ask(json{{key, "06a3:0763"}}).contains("editError")) << key;
  }
  // Saved: a [sticks] section at the end, every byte before it as it was.
  Ask(http::verb::post, "/api/save", json{{"edits", {{"sticks.0", edits["sticks.0"]}}}}.dump());
  EXPECT_EQ(
      testkit::ReadBytes(path_),
      std::string(kExampleSetupText) + "[sticks]\n0=044f:b10a \"Flight Stick\" serial=0A1B2C\n");
  EXPECT_EQ(ask(json::object())["pins"][0]["state"], "found");
}

// A keyboard alone, as the build's live devices would report it: the keys
// the test holds, no joystick.
class HeldKeys : public LiveDevices {
 public:
  explicit HeldKeys(std::shared_ptr<std::array<uint8_t, 256>> keys) : keys_(std::move(keys)) {}
  Opened Open() override { return {true, false, {}}; }
  std::vector<LiveStick> Sticks() const override { return {}; }
  uint8_t KeyState(int vk) override { return read_[static_cast<size_t>(vk & 255)]; }
  bool PollJoystick(int, JoyInfoEx&) override { return false; }

 protected:
  void Read() override { read_ = *keys_; }

 private:
  std::shared_ptr<std::array<uint8_t, 256>> keys_;
  std::array<uint8_t, 256> read_{};
};

TEST_F(SetupPreviewTest, HeldKeysReachThePreviewThroughTheLiveSourceAndTheirRecordingReplays) {
  // As zq-setup runs it: the live view reads the devices, the preview ticks
  // on what it read. The example binds chat to ` (192) and usetrim to
  // Ctrl+T; fire goes to F here.
  auto keys = std::make_shared<std::array<uint8_t, 256>>();
  LiveSource live([keys] { return std::make_unique<HeldKeys>(keys); });
  json edits{{"edits", {{"fire", "-1 70"}}}};
  Ask(http::verb::post, "/api/preview", edits.dump());
  auto label = [this](const char* name) {
    json model = Model();
    for (const json& l : model["labels"]) {
      if (l["name"] == name) return l;
    }
    return json();
  };
  auto tick = [&](std::initializer_list<int> down, int ticks = 1) {
    keys->fill(0);
    for (int vk : down) (*keys)[static_cast<size_t>(vk)] = 128;
    for (int i = 0; i < ticks; ++i) {
      EXPECT_NE(live.Snapshot(), "");
      preview_->Tick(live);
    }
  };
  tick({}, 3);
  Events();
  Ask(http::verb::post, "/api/preview/record", "{}");
  tick({});  // the recording starts a fresh run here
  tick({192}, 2);
  EXPECT_EQ(label("xp")["text"], "Чат") << "the chat key held";
  tick({27});  // Escape ends chat mode
  EXPECT_NE(label("xp")["text"], "Чат");
  json colourBefore = label("xyp")["color"];
  tick({17, 84});  // Ctrl+T: the X and Z trims switch into their axes
  EXPECT_NE(label("xyp")["color"], colourBefore) << "Ctrl+T switches the trim routing";
  json model = Model();
  EXPECT_EQ(model["sends"][0]["tick"], model["tick"]) << "the switch sends at once";
  tick({70}, 20);  // fire held one second
  EXPECT_EQ(label("Label1")["text"], "1.0");
  tick({}, kRecordTicks);
  ASSERT_EQ(Model()["recording"]["state"], "done");

  std::string script = Ask(http::verb::get, "/api/preview/recording").body();
  for (const char* line : {"key 192 128\n", "key 27 128\n", "key 17 128\n", "key 84 128\n",
                           "key 70 128\n", "key 70 0\n"}) {
    EXPECT_NE(script.find(line), std::string::npos) << line << " missing from\n" << script;
  }
  // Replayed on the saved settings, the recording gives the preview's run.
  std::string recorded;
  std::istringstream in(Events());
  for (std::string line; std::getline(in, line);) {
    if (json::parse(line)["tick"] <= kRecordTicks) recorded += line + "\n";
  }
  Ask(http::verb::post, "/api/save", edits.dump());
  EXPECT_EQ(Replay(script), recorded);
  EXPECT_NE(recorded.find("\"text\":\"Чат\""), std::string::npos);
}

#ifdef ZQ_PREVIEW_SDL_STICK
// The same through the panel's own SDL joystick code, as zq-setup runs it:
// an SDL virtual stick holds known axis values and a button switches the Y
// trim routing; zq-replay gets those values as the record's words.
TEST_F(SetupPreviewTest, AgreesWithReplayOnAnSdlVirtualStick) {
  auto live = std::make_unique<LiveSource>();
  live->Snapshot();  // opens the devices: SDL's joysticks are started
  int index = -1;
  SDL_Joystick* stick = OpenVirtualStick("zq preview stick", &index);
  ASSERT_NE(stick, nullptr) << SDL_GetError();
  if (live->Snapshot().find("\"id\":0,\"name\":\"zq preview stick\"") == std::string::npos) {
    SDL_JoystickClose(stick);
    SDL_JoystickDetachVirtual(index);
    GTEST_SKIP() << "another joystick holds id 0";
  }
  // SDL's -32768..32767 on the record's 0..65535, as the panel converts it.
  const std::map<int16_t, uint32_t> kWord{
      {-32768, 0}, {-16384, 16383}, {0, 32767}, {16384, 49152}, {32767, 65535}};
  struct Move {
    int16_t y, trim;
    bool route;
  };
  const std::vector<Move> moves{
      {0, 0, false},          {32767, 0, false},     {16384, 16384, false},
      {16384, 32767, true},   {16384, 32767, false}, {-16384, -32768, false},
      {-32768, -32768, true}, {-32768, 0, false},    {0, 16384, false}};
  json edits{{"edits", {{"Y", "0 40 60 80 100 120"}, {"useYtrim", "0 9"}, {"TrimAxis", "0 4"}}}};
  Ask(http::verb::post, "/api/preview", edits.dump());
  std::string script;
  for (const Move& m : moves) {
    SDL_JoystickSetVirtualAxis(stick, 1, m.y);
    SDL_JoystickSetVirtualAxis(stick, 4, m.trim);
    SDL_JoystickSetVirtualButton(stick, 8, m.route ? 1 : 0);
    live->Snapshot();
    preview_->Tick(*live);
    script += "joy 0 0 32767\njoy 0 2 32767\njoy 0 3 32767\njoy 0 5 32767\n";
    script += "joy 0 1 " + std::to_string(kWord.at(m.y)) + "\njoy 0 4 " +
              std::to_string(kWord.at(m.trim)) + "\nbutton 0 9 " + (m.route ? "down" : "up") +
              "\ntick\n";
  }
  SDL_JoystickClose(stick);
  SDL_JoystickDetachVirtual(index);
  std::string preview = Events();
  Ask(http::verb::post, "/api/save", edits.dump());
  EXPECT_EQ(preview, Replay(script));
  EXPECT_NE(preview.find("\"data\":\"R/87\\\\"), std::string::npos) << preview;
}
#endif

}  // namespace
}  // namespace zq::setup::ui
