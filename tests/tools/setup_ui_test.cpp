// The configurator's request handler without sockets: who may ask (token,
// Host, Origin), what it answers, and saving through the settings editor.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <random>
#include <set>

#include "config/settings_load.h"
#include "control/curve_math.h"
#include "input/key_names.h"
#include "settings_edit_kit.h"
#include "tools/example_setup.h"
#include "zq_check/check_model.h"
#include "zq_setup/ui/apply_api.h"
#include "zq_setup/ui/profiles_api.h"
#include "zq_setup/ui/ui_api.h"
#include "zq_setup/ui/ui_http.h"

namespace zq::setup::ui {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testkit::ReadBytes;
using testkit::WriteBytes;

constexpr unsigned short kPort = 40123;
const std::string kToken = "0123456789abcdef0123456789abcdef";
const std::string kSession = "fedcba9876543210fedcba9876543210";
const std::string kCookie = "zq_setup_40123";

class SetupUiTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("zq-setup-ui-" +
            std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    path_ = (dir_ / "Setup.ini").string();
    WriteBytes(path_, std::string(kExampleSetupText));
    api_ = std::make_unique<SettingsApi>(*ops_, path_, std::string(kExampleSetupText));
    ASSERT_EQ(api_->Open(), "");
    handler_ = std::make_unique<RequestHandler>(kToken, kSession, kPort, *api_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A request as the page sends it; tests then spoil one part.
  static Request Make(http::verb verb, std::string target, std::string body = "") {
    Request req{verb, target, 11};
    req.set(http::field::host, "127.0.0.1:" + std::to_string(kPort));
    req.set(http::field::cookie, "other=1; " + kCookie + "=" + kSession);
    if (verb == http::verb::post) {
      req.set(http::field::origin, "http://127.0.0.1:" + std::to_string(kPort));
      req.body() = std::move(body);
      req.prepare_payload();
    }
    return req;
  }
  Response Send(const Request& req) {
    Reply r = handler_->Handle(req);
    for (const auto& field : r.response) {
      EXPECT_EQ(std::string(field.name_string()).find("Access-Control"), std::string::npos);
    }
    return r.response;
  }
  json SendJson(const Request& req, http::status expected = http::status::ok) {
    Response res = Send(req);
    EXPECT_EQ(res.result(), expected) << res.body();
    return json::parse(res.body(), nullptr, false);
  }

  fs::path dir_;
  std::string path_;
  std::unique_ptr<FileOps> ops_ = MakePlatformFileOps();
  std::unique_ptr<SettingsApi> api_;
  std::unique_ptr<RequestHandler> handler_;
};

TEST_F(SetupUiTest, RequestsWithoutTheTokenHostOrOriginAreRefused) {
  std::string port = std::to_string(kPort);
  struct Case {
    const char* what;
    std::function<void(Request&)> spoil;
  };
  const Case cases[] = {
      {"no cookie", [](Request& r) { r.erase(http::field::cookie); }},
      {"wrong cookie",
       [](Request& r) { r.set(http::field::cookie, kCookie + "=" + std::string(32, '0')); }},
      {"short cookie", [](Request& r) { r.set(http::field::cookie, kCookie + "=fedc"); }},
      {"empty cookie", [](Request& r) { r.set(http::field::cookie, kCookie + "="); }},
      {"the token as cookie",
       [](Request& r) { r.set(http::field::cookie, kCookie + "=" + kToken); }},
      {"the cookie of another instance",
       [](Request& r) { r.set(http::field::cookie, "zq_setup_40124=" + kSession); }},
      {"the old cookie name",
       [](Request& r) { r.set(http::field::cookie, "zq_setup_token=" + kSession); }},
      {"a page of another site", [](Request& r) { r.set("Sec-Fetch-Site", "cross-site"); }},
      {"a page on another port", [](Request& r) { r.set("Sec-Fetch-Site", "same-site"); }},
      {"foreign Host",
       [](Request& r) { r.set(http::field::host, "evil.example:" + std::to_string(kPort)); }},
      {"Host of another port", [](Request& r) { r.set(http::field::host, "127.0.0.1:1"); }},
      {"Host without port", [](Request& r) { r.set(http::field::host, "127.0.0.1"); }},
      {"no Host", [](Request& r) { r.erase(http::field::host); }},
      {"no Origin", [](Request& r) { r.erase(http::field::origin); }},
      {"foreign Origin", [](Request& r) { r.set(http::field::origin, "http://evil.example"); }},
      {"Origin of the other name",
       [port](Request& r) { r.set(http::field::origin, "http://localhost:" + port); }},
      {"Origin null", [](Request& r) { r.set(http::field::origin, "null"); }},
  };
  const std::string before = ReadBytes(path_);
  for (const Case& c : cases) {
    for (http::verb verb : {http::verb::get, http::verb::post}) {
      if (verb == http::verb::get && std::string(c.what) == "no Origin")
        continue;  // reading needs no Origin, but one that is given must be ours
      Request req = verb == http::verb::get
                        ? Make(verb, "/api/state")
                        : Make(verb, "/api/save", R"({"edits":{"Yaxis":"1 1"}})");
      c.spoil(req);
      Response res = Send(req);
      EXPECT_EQ(res.result(), http::status::forbidden) << c.what << " " << req.method_string();
      EXPECT_EQ(res[http::field::set_cookie], "") << c.what;
    }
  }
  Request page = Make(http::verb::get, "/");
  page.erase(http::field::cookie);
  EXPECT_EQ(Send(page).result(), http::status::forbidden);
  EXPECT_EQ(ReadBytes(path_), before);

  // The same request, unspoilt, passes; localhost is the other allowed name.
  EXPECT_EQ(Send(Make(http::verb::get, "/api/state")).result(), http::status::ok);
  Request own = Make(http::verb::get, "/api/state");
  own.set("Sec-Fetch-Site", "same-origin");
  own.set(http::field::origin, "http://127.0.0.1:" + port);
  EXPECT_EQ(Send(own).result(), http::status::ok);
  Request local = Make(http::verb::post, "/api/check", "{}");
  local.set(http::field::host, "localhost:" + port);
  local.set(http::field::origin, "http://localhost:" + port);
  EXPECT_EQ(Send(local).result(), http::status::ok);
}

TEST_F(SetupUiTest, TheTokenOpensTheConfiguratorOnceAndTheCookieStaysWithThisPort) {
  int exchanges = 0;
  handler_->OnExchange([&exchanges] { ++exchanges; });
  Request first = Make(http::verb::get, "/?token=" + kToken);
  first.erase(http::field::cookie);
  EXPECT_EQ(handler_->FirstAddress(), "http://127.0.0.1:40123/?token=" + kToken);
  Response res = Send(first);
  EXPECT_EQ(res.result(), http::status::see_other);
  EXPECT_EQ(res[http::field::location], "/");  // the address bar loses the token
  EXPECT_EQ(res[http::field::set_cookie],
            kCookie + "=" + kSession + "; Path=/; HttpOnly; SameSite=Strict");
  EXPECT_EQ(exchanges, 1);

  // The same address again (history, scrollback, another user): refused, and
  // the answer says how to get a new one.
  Response again = Send(first);
  EXPECT_EQ(again.result(), http::status::forbidden);
  EXPECT_EQ(again[http::field::set_cookie], "");
  EXPECT_NE(again.body().find("start it again"), std::string::npos);
  Request form = Make(http::verb::post, "/session", "token=" + kToken);
  form.erase(http::field::cookie);
  form.set(http::field::origin, "null");
  EXPECT_EQ(Send(form).result(), http::status::forbidden);
  // The player's browser, already in, is sent back to the page.
  Request mine = Make(http::verb::get, "/?token=" + kToken);
  Response back = Send(mine);
  EXPECT_EQ(back.result(), http::status::see_other);
  EXPECT_EQ(back[http::field::set_cookie], "");
  EXPECT_EQ(exchanges, 1);

  Request wrong = Make(http::verb::get, "/?token=" + std::string(32, 'f'));
  wrong.erase(http::field::cookie);
  EXPECT_EQ(Send(wrong).result(), http::status::forbidden);
  EXPECT_EQ(NewToken().size(), 32u);
  EXPECT_NE(NewToken(), NewToken());
}

// The browser opens a file page that posts the token: a navigation from a
// file, so cross-site with Origin "null"; the answer's redirect then comes
// from the server's own site.
TEST_F(SetupUiTest, TheTokenPagePostsTheTokenOnce) {
  const std::string page = handler_->TokenPage();
  EXPECT_NE(page.find("action=\"http://127.0.0.1:40123/session\""), std::string::npos);
  EXPECT_NE(page.find("value=\"" + kToken + "\""), std::string::npos);
  EXPECT_EQ(page.find(kSession), std::string::npos);

  auto post = [](std::string origin, std::string body) {
    Request r = Make(http::verb::post, "/session", std::move(body));
    r.erase(http::field::cookie);
    r.set(http::field::origin, origin);
    r.set("Sec-Fetch-Site", "cross-site");
    r.set(http::field::content_type, "application/x-www-form-urlencoded");
    return r;
  };
  for (const Request& refused : {post("http://evil.example", "token=" + kToken),
                                 post("null", "token=" + std::string(32, '0')),
                                 post("null", "token="), post("null", "hello")}) {
    Response res = Send(refused);
    EXPECT_EQ(res.result(), http::status::forbidden) << refused.body();
    EXPECT_EQ(res[http::field::set_cookie], "");
  }
  EXPECT_FALSE(handler_->TokenUsed());
  // The answer moves on to the page itself: a redirect would still count as
  // the file's navigation, another site's, and the page would get no cookie.
  Response in = Send(post("null", "token=" + kToken));
  EXPECT_EQ(in.result(), http::status::ok);
  EXPECT_EQ(in[http::field::location], "");
  EXPECT_NE(in.body().find("http-equiv=\"refresh\" content=\"0;url=/\""), std::string::npos);
  EXPECT_EQ(in[http::field::set_cookie],
            kCookie + "=" + kSession + "; Path=/; HttpOnly; SameSite=Strict");
  EXPECT_TRUE(handler_->TokenUsed());
  EXPECT_EQ(Send(post("null", "token=" + kToken)).result(), http::status::forbidden);
  Request typed = Make(http::verb::get, "/?token=" + kToken);
  typed.erase(http::field::cookie);
  EXPECT_EQ(Send(typed).result(), http::status::forbidden);
}

TEST_F(SetupUiTest, ServesOnlyItsOwnFilesAndLimitsWhatItTakes) {
  Response page = Send(Make(http::verb::get, "/"));
  EXPECT_EQ(page.result(), http::status::ok);
  EXPECT_NE(page.body().find("<html"), std::string::npos);
  EXPECT_EQ(page[http::field::content_type], "text/html; charset=utf-8");
  EXPECT_NE(page["Content-Security-Policy"], "");
  EXPECT_EQ(Send(Make(http::verb::get, "/app.js")).result(), http::status::ok);
  for (const char* target : {"/Setup.ini", "/../Setup.ini", "/%2e%2e/Setup.ini", "/etc/passwd",
                             "/api/nothing", "/index.html/"}) {
    EXPECT_EQ(Send(Make(http::verb::get, target)).result(), http::status::not_found) << target;
  }
  Request put = Make(http::verb::put, "/api/save");
  EXPECT_EQ(Send(put).result(), http::status::method_not_allowed);
  Request big = Make(http::verb::post, "/api/check", std::string(kMaxBodyBytes + 1, ' '));
  EXPECT_EQ(Send(big).result(), http::status::payload_too_large);
  // A body that is not JSON is refused on every route, before any route acts on it.
  for (const char* route :
       {"/api/check", "/api/save", "/api/curve", "/api/curve/shape", "/api/nothing"}) {
    for (const char* body : {"not json", "", "{\"edits\":", "hello"}) {
      json bad = SendJson(Make(http::verb::post, route, body), http::status::bad_request);
      EXPECT_TRUE(bad.contains("error")) << route << " " << body;
    }
  }
  Reply live = handler_->Handle(Make(http::verb::get, "/api/live"));
  EXPECT_TRUE(live.eventStream);
  EXPECT_EQ(live.response[http::field::content_type], "text/event-stream");
}

TEST_F(SetupUiTest, StateAndFindingsComeFromZqCheckOnTheEditedText) {
  json state = SendJson(Make(http::verb::get, "/api/state"));
  ASSERT_EQ(state["slots"].size(), 25u);
  EXPECT_EQ(state["slots"][15]["key"], "Yaxis");
  EXPECT_EQ(state["slots"][15]["value"], "0 1");
  EXPECT_TRUE(state["slots"][15]["axis"].get<bool>());
  EXPECT_EQ(state["findings"].size(), 0u);  // the example is clean
  EXPECT_EQ(state["curveSets"].size(), 2u);
  EXPECT_EQ(state["curveSets"][0]["Y"]["points"][10], 100);
  EXPECT_EQ(state["setKeys"], json::array({"Y1"}));  // what adding and removing a set go by
  EXPECT_EQ(state["examples"]["Y"], "0 50 55 60 65 70 75 80 85 92 100");  // a preset
  EXPECT_FALSE(state["examples"].contains("Y2"));

  // flapsdown on fire's button: the page shows what zq-check says of that text.
  json edits = {{"edits", {{"flapsdown", "0 1"}, {"WindowX", "12"}}}};
  json checked = SendJson(Make(http::verb::post, "/api/check", edits.dump()));
  SettingsDocument doc{std::string(kExampleSetupText)};
  ASSERT_TRUE(doc.Set("main", "flapsdown", "0 1").ok());
  ASSERT_TRUE(doc.Set("main", "WindowX", "12").ok());
  check::CheckResult direct = check::CheckSettingsText(path_, doc.Bytes());
  ASSERT_EQ(checked["findings"].size(), direct.diagnostics.size());
  ASSERT_FALSE(direct.diagnostics.empty());
  for (size_t i = 0; i < direct.diagnostics.size(); ++i) {
    EXPECT_EQ(checked["findings"][i]["message"], direct.diagnostics[i].message);
    EXPECT_EQ(checked["findings"][i]["line"], direct.diagnostics[i].line);
  }
  EXPECT_EQ(checked["values"]["WindowX"]["value"], "12");

  // Beside each binding text, the input it names, as the panel reads the edited text.
  json named = SendJson(Make(http::verb::post, "/api/check",
                             R"({"edits":{"curvedown":"-1 116","Yaxis":"1 4","power":""}})"));
  auto name = [&](const json& state, std::string_view key) {
    for (const json& s : state["slots"])
      if (s["key"] == key) return s["name"].get<std::string>();
    return std::string("no slot");
  };
  EXPECT_EQ(name(named, "curvedown"), "F5");
  EXPECT_EQ(name(named, "Yaxis"), "joystick 1 axis U");
  EXPECT_EQ(name(named, "power"), "");  // empty: nothing to press
  EXPECT_EQ(name(state, "power"), "Ctrl+P");
  EXPECT_EQ(name(state, "fire"), "joystick 0 button 1");
  // A load error: the slots after it were never read and name nothing.
  json broken = SendJson(Make(http::verb::post, "/api/check", R"({"edits":{"fire":"0 x"}})"));
  EXPECT_EQ(name(broken, "power"), "");
  EXPECT_EQ(checked["loaded"]["windowX"], 12);

  json refused = SendJson(
      Make(http::verb::post, "/api/check", R"({"edits":{"Yaxis":"1 1","evil\nkey":"1"}})"));
  EXPECT_TRUE(refused.contains("editError"));
  EXPECT_EQ(refused["slots"][15]["value"], "0 1");  // none of the edits applied
}

// The page draws from these alone: every slot once, and every text it builds
// from them reads back as the panel reads it.
TEST_F(SetupUiTest, FactsAreThePanelsOwnTables) {
  json facts = SendJson(Make(http::verb::get, "/api/facts"));
  ASSERT_EQ(facts["slots"].size(), kSlotTable.size());
  std::set<std::string> keys;
  for (const json& s : facts["slots"]) {
    keys.insert(s["key"].get<std::string>());
    EXPECT_FALSE(s["name"].get<std::string>().empty()) << s;
    EXPECT_FALSE(s["group"].get<std::string>().empty()) << s;
  }
  for (const SlotInfo& info : kSlotTable) EXPECT_EQ(keys.count(std::string(info.key)), 1u);
  EXPECT_NE(facts.dump().find("“посадка” (landing)"), std::string::npos);  // flapsdown's words
  ASSERT_EQ(facts["values"].size(), kIntegerSettings.size());

  // Each axis names a curve of the state, an axis slot for it and its trim.
  json state = SendJson(Make(http::verb::get, "/api/state"));
  auto slot = [&](const json& key) {
    for (const json& s : state["slots"])
      if (s["key"] == key) return s;
    return json();
  };
  ASSERT_EQ(facts["axes"].size(), 3u);
  for (const json& a : facts["axes"]) {
    EXPECT_TRUE(state["curveSets"][0].contains(a["letter"].get<std::string>())) << a;
    EXPECT_TRUE(slot(a["slot"])["axis"].get<bool>()) << a;
    EXPECT_TRUE(slot(a["trimSlot"])["axis"].get<bool>()) << a;
    EXPECT_FALSE(slot(a["routing"])["axis"].get<bool>()) << a;
  }
  EXPECT_EQ(facts["stickAxes"].size(), 6u);  // the record's six axis words

  // A chord as the page writes it ("[CTRL]+[SHIFT]+K") is the chord the panel reads.
  ASSERT_EQ(facts["modifiers"].size(), 3u);
  NoKeyCharMap noLayout;
  for (const auto& [vk, ch] : facts["keyChars"].items()) {
    for (const json& m : facts["modifiers"]) {
      std::string text = m["text"].get<std::string>() + "+" + ch.get<std::string>();
      Binding b;
      ASSERT_FALSE(ParseBinding(text, b, noLayout).has_value()) << text;
      EXPECT_EQ(b.device, kKeyboard) << text;
      EXPECT_EQ(b.code, std::stoi(vk)) << text;
      EXPECT_EQ(b.ctrl + b.alt + b.shift, 1) << text;
      for (const json& k : m["keys"]) EXPECT_TRUE(IsModifierKey(k.get<int32_t>())) << text;
    }
  }
  EXPECT_EQ(facts["keyChars"].size(), 26u + 10u + 11u);  // letters, digits, punctuation
  // The run's own mark, the same at every ask.
  EXPECT_EQ(facts["run"].get<std::string>().size(), 32u);
  EXPECT_EQ(SendJson(Make(http::verb::get, "/api/facts"))["run"], facts["run"]);
}

TEST_F(SetupUiTest, TheCurveIsThePanelsOwnForEveryReading) {
  const std::vector<int> points{0, 50, 55, 60, 65, 70, 75, 80, 85, 92, 100};
  json res = SendJson(Make(http::verb::post, "/api/curve", json{{"points", points}}.dump()));
  ASSERT_EQ(res["outputs"].size(), 2001u);
  Curve curve{};
  for (int k = 0; k < kCurvePoints; ++k)
    curve.slot[static_cast<size_t>(k)] = points[static_cast<size_t>(k)];
  for (int reading = -1000; reading <= 1000; ++reading)
    ASSERT_EQ(res["outputs"][static_cast<size_t>(reading + 1000)], EvaluateCurve(reading, curve))
        << reading;
  EXPECT_FALSE(res.contains("mixed"));
  // With a trim routed into the axis: the panel's trim mix of each output.
  json mixed = SendJson(
      Make(http::verb::post, "/api/curve", json{{"points", points}, {"trim", -31}}.dump()));
  ASSERT_EQ(mixed["mixed"].size(), 2001u);
  for (int reading = -1000; reading <= 1000; reading += 7) {
    size_t i = static_cast<size_t>(reading + 1000);
    ASSERT_EQ(mixed["mixed"][i], TrimMix(EvaluateCurve(reading, curve), -31)) << reading;
  }
  EXPECT_EQ(mixed["mixed"][1000], -15);
  for (const char* body : {R"({"points":[1,2,3]})", R"({"points":[0,0,0,0,0,0,0,0,0,0,"x"]})",
                           R"({"points":[0,0,0,0,0,0,0,0,0,0,4294967296]})", "[]",
                           R"({"points":[0,0,0,0,0,0,0,0,0,0,0],"trim":"5"})",
                           R"({"points":[0,0,0,0,0,0,0,0,0,0,0],"trim":1e12})"}) {
    SendJson(Make(http::verb::post, "/api/curve", body), http::status::bad_request);
  }
}

// A shape's points come with the panel's response to them, what the chart
// draws; a state with a load error marks its curves as not loaded.
TEST_F(SetupUiTest, AShapeWritesPointsAndTheirResponseIsThePanelsOwn) {
  json presets = SendJson(Make(http::verb::get, "/api/curve/shapes"));
  ASSERT_GE(presets["presets"].size(), 3u);
  EXPECT_EQ(presets["presets"][0]["name"], "Linear");
  json res = SendJson(Make(http::verb::post, "/api/curve/shape",
                           R"({"deadZone":10,"saturation":100,"curvature":0,"invert":false})"));
  EXPECT_EQ(res["text"], "0 0 56 74 83 89 93 95 97 99 100");
  EXPECT_TRUE(res["exact"].get<bool>());
  Curve curve{};
  for (int k = 0; k < kCurvePoints; ++k)
    curve.slot[static_cast<size_t>(k)] = res["points"][static_cast<size_t>(k)].get<int32_t>();
  ASSERT_EQ(res["outputs"].size(), 2001u);
  ASSERT_EQ(res["ideal"].size(), 2001u);
  for (int reading = -1000; reading <= 1000; ++reading)
    ASSERT_EQ(res["outputs"][static_cast<size_t>(reading + 1000)], EvaluateCurve(reading, curve));
  json rough = SendJson(Make(http::verb::post, "/api/curve/shape", R"({"deadZone":5})"));
  EXPECT_FALSE(rough["exact"].get<bool>());
  EXPECT_GT(rough["deviation"].get<double>(), 1.0);
  for (const char* body : {R"({"deadZone":50,"saturation":40})", R"({"curvature":"5"})",
                           R"({"invert":1})", R"({"deadZone":1e9})", "[]"}) {
    SendJson(Make(http::verb::post, "/api/curve/shape", body), http::status::bad_request);
  }
  json stopped = SendJson(Make(http::verb::post, "/api/check", R"({"edits":{"Yaxis":"1 3 4"}})"));
  EXPECT_TRUE(stopped["curveSets"].empty());
  EXPECT_FALSE(stopped["trimCurves"][0]["loaded"].get<bool>());
}

TEST_F(SetupUiTest, SavingChangesOnlyTheEditedLinesAndRefusesAFileChangedSince) {
  const std::string original = ReadBytes(path_);
  json edits = {{"edits", {{"flapsdown", "-1 70"}, {"Y", "0 10 20 30 40 50 60 70 80 90 100"}}}};
  json saved = SendJson(Make(http::verb::post, "/api/save", edits.dump()));
  EXPECT_TRUE(saved["saved"].get<bool>());
  EXPECT_NE(saved["message"].get<std::string>().find("restart"), std::string::npos);
  EXPECT_EQ(saved["changes"].size(), 2u);
  EXPECT_EQ(ReadBytes(path_ + ".bak"), original);
  SettingsDocument expected(original);
  ASSERT_TRUE(expected.Set("main", "flapsdown", "-1 70").ok());
  ASSERT_TRUE(expected.Set("main", "Y", "0 10 20 30 40 50 60 70 80 90 100").ok());
  EXPECT_EQ(ReadBytes(path_), expected.Bytes());

  // Someone else writes the file: the page is told, nothing is written.
  const std::string theirs = ReadBytes(path_) + "; their note\n";
  WriteBytes(path_, theirs);
  json refused = SendJson(Make(http::verb::post, "/api/save", R"({"edits":{"fire":"0 9"}})"),
                          http::status::conflict);
  EXPECT_NE(refused["changedOnDisk"].get<std::string>(), "");
  EXPECT_EQ(ReadBytes(path_), theirs);
  json state = SendJson(Make(http::verb::get, "/api/state"));
  EXPECT_NE(state["changedOnDisk"].get<std::string>(), "");

  // "Keep mine": their file read again, the page's edit on top of it.
  SendJson(Make(http::verb::post, "/api/save", R"({"edits":{"fire":"0 9"},"keepMine":true})"));
  SettingsDocument mine(theirs);
  ASSERT_TRUE(mine.Set("main", "fire", "0 9").ok());
  EXPECT_EQ(ReadBytes(path_), mine.Bytes());

  // Only the settings the page edits, in the one file.
  const std::string now = ReadBytes(path_);
  for (const char* body : {R"({"edits":{"fire":"0 8"},"keepMine":1})",
                           R"({"edits":{"fire":"0 8"},"keepMine":"yes"})", R"([1,2])"}) {
    SendJson(Make(http::verb::post, "/api/save", body), http::status::bad_request);
  }
  for (const char* body : {R"({"edits":{"unknown":"1"}})", R"({"edits":{"Yaxis":5}})",
                           R"({"edits":{"Yaxis":"1\n[other]"}})", R"({"edits":[1]})"}) {
    Response res = Send(Make(http::verb::post, "/api/save", body));
    EXPECT_EQ(res.result(), http::status::unprocessable_entity) << body << res.body();
  }
  EXPECT_EQ(ReadBytes(path_), now);
  // "Reload": the page's view of the file as it is now.
  json reloaded = SendJson(Make(http::verb::get, "/api/state?reload=1"));
  EXPECT_EQ(reloaded["changedOnDisk"], "");
}

// An ANSI Setup.ini (cp1252 bytes on binding lines) in a folder whose name is
// not UTF-8: every answer is still JSON, with replacement characters.
TEST_F(SetupUiTest, AnswersStayJsonWhateverBytesTheFileAndItsPathHold) {
#ifdef _WIN32
  // Windows tools take paths in the ANSI code page, where these bytes are
  // letters (ë, ÿ); the test's own file calls name that folder in UTF-16.
  const fs::path odd = dir_ / L"Jo\u00EBl's \u00FF settings";
  const std::string path = dir_.string() + "\\Jo\xEBl's \xFF settings\\Setup.ini";
#else
  const fs::path odd = dir_ / "Jo\xEBl's \xFF settings";
  const std::string path = (odd / "Setup.ini").string();
#endif
  fs::create_directories(odd);
  const fs::path file = odd / "Setup.ini";
  std::string ansi(kExampleSetupText);
  ansi.replace(ansi.find("fire=0 1"), 8, "fire=\xE9");
  ansi.replace(ansi.find("chat=-1 192"), 11, "chat=\x80\xFF \xE9");
  WriteBytes(file, ansi);
  SettingsApi api(*ops_, path, std::string(kExampleSetupText));
  ASSERT_EQ(api.Open(), "");
  RequestHandler handler(kToken, kSession, kPort, api);
  auto send = [&handler](const Request& req, http::status expected) {
    Response res = handler.Handle(req).response;
    EXPECT_EQ(res.result(), expected) << req.target() << " " << req.body();
    json j = json::parse(res.body(), nullptr, false);
    EXPECT_FALSE(j.is_discarded()) << res.body();
    return j;
  };
  json state = send(Make(http::verb::get, "/api/state"), http::status::ok);
  EXPECT_NE(state["path"].get<std::string>().find("\xEF\xBF\xBD"), std::string::npos);
  for (const json& slot : state["slots"]) {
    if (slot["key"] == "fire") {
      EXPECT_EQ(slot["value"], "\xEF\xBF\xBD");  // as the page shows it
    }
  }

  // fire changed from the page: saved, answered, the other lines left as they were.
  json saved =
      send(Make(http::verb::post, "/api/save", R"({"edits":{"fire":"0 2"}})"), http::status::ok);
  EXPECT_TRUE(saved["saved"].get<bool>());
  ASSERT_EQ(saved["changes"].size(), 1u);
  EXPECT_EQ(saved["changes"][0]["before"], "fire=\xEF\xBF\xBD");
  std::string expected = ansi;
  expected.replace(expected.find("fire=\xE9"), 6, "fire=0 2");
  EXPECT_EQ(ReadBytes(file), expected);

  // Someone else writes it: the "changed on disk" answer names the odd path.
  WriteBytes(file, expected + "; theirs\n");
  json conflict = send(Make(http::verb::post, "/api/save", R"({"edits":{"fire":"0 3"}})"),
                       http::status::conflict);
  EXPECT_NE(conflict["changedOnDisk"].get<std::string>(), "");
  send(Make(http::verb::post, "/api/check", R"({"edits":{"chat":"-1 193"}})"), http::status::ok);
  send(Make(http::verb::get, "/api/state?reload=1"), http::status::ok);
}

// A route that throws fails its own request with 500; the next is answered.
TEST_F(SetupUiTest, ARequestThatFailsInsideARouteFailsAlone) {
  struct Throwing : ApiRoutes {
    bool Answer(const Request&, std::string_view path, std::string_view, Response&) override {
      if (path == "/api/throw") throw std::runtime_error("no");
      return false;
    }
  } routes;
  RequestHandler handler(kToken, kSession, kPort, routes);
  Reply failed = handler.Handle(Make(http::verb::get, "/api/throw"));
  EXPECT_EQ(failed.response.result(), http::status::internal_server_error);
  EXPECT_FALSE(json::parse(failed.response.body(), nullptr, false).is_discarded());
  EXPECT_EQ(handler.Handle(Make(http::verb::get, "/api/other")).response.result(),
            http::status::not_found);
  EXPECT_EQ(handler.Handle(Make(http::verb::get, "/")).response.result(), http::status::ok);
}

// The file's own port, by which a page started again on the same file has
// the same origin (and what the browser kept for it): the same however the
// path is written, another for another file.
TEST_F(SetupUiTest, TheSameFileGetsTheSamePort) {
  unsigned short port = FilePort(path_);
  EXPECT_GE(port, kFilePortFirst);
  EXPECT_LT(port, kFilePortFirst + kFilePortCount);
  EXPECT_EQ(FilePort((dir_ / ".." / dir_.filename() / "." / "Setup.ini").string()), port);
  fs::path cwd = fs::current_path();
  fs::current_path(dir_);
  EXPECT_EQ(FilePort("Setup.ini"), port);
  fs::current_path(cwd);
  std::error_code ec;
  fs::create_directory_symlink(dir_, dir_.string() + "-link", ec);
  if (!ec) {
    EXPECT_EQ(FilePort(dir_.string() + "-link/Setup.ini"), port);
    fs::remove(dir_.string() + "-link");
  }
  // A file not made yet: its port is the one it will have once made.
  unsigned short later = FilePort((dir_ / "new" / "Setup.ini").string());
  fs::create_directories(dir_ / "new");
  WriteBytes((dir_ / "new" / "Setup.ini").string(), "");
  EXPECT_EQ(FilePort((dir_ / "new" / "Setup.ini").string()), later);
  EXPECT_NE(later, port);
}

// Starting and restarting the panel: the program found beside zq-setup and
// the opened file only, a running panel closed before a new one starts, and
// none started while the old one is still there.
TEST_F(SetupUiTest, ThePanelStartsOnTheOpenedFileAndRestartsOnlyOnceTheOldOneHasGone) {
  struct FakePanel : PanelControl {
    std::string executable = "/opt/zq/zq-thrust";
    RunningPanel running;
    PanelClose closes = PanelClose::closed;
    std::vector<std::string> calls;
    std::string Executable() override { return executable; }
    std::string SetupFile(const std::string& path) override { return "/abs/" + path; }
    PanelStart Start(const std::string& exe, const std::string& file) override {
      calls.push_back("start " + exe + " " + file);
      return PanelStart{true, 77, ""};
    }
    RunningPanel Find() override { return running; }
    PanelClose Close(int waitMs) override {
      calls.push_back("close " + std::to_string(waitMs));
      return closes;
    }
  } panel;
  ApplyApi apply(*api_, *api_, panel);
  RequestHandler handler(kToken, kSession, kPort, apply);
  auto send = [&](const Request& req, http::status expected) {
    Response res = handler.Handle(req).response;
    EXPECT_EQ(res.result(), expected) << req.target() << " " << res.body();
    return json::parse(res.body(), nullptr, false);
  };
  const std::string started = "start /opt/zq/zq-thrust /abs/" + path_;
  // Nothing of the program or the file comes from the request.
  const std::string spoof = R"({"executable":"/bin/sh","setupFile":"/etc/passwd"})";

  json status = send(Make(http::verb::get, "/api/panel"), http::status::ok);
  EXPECT_FALSE(status["running"].get<bool>());
  EXPECT_EQ(status["opened"], "/abs/" + path_);
  send(Make(http::verb::post, "/api/panel/start", spoof), http::status::ok);
  EXPECT_EQ(panel.calls, std::vector<std::string>{started});

  // One panel at a time: Start refuses while one runs, and says which file it reads.
  panel.calls.clear();
  panel.running = RunningPanel{true, 41, "/abs/other.ini", true};
  json refused = send(Make(http::verb::post, "/api/panel/start", "{}"), http::status::conflict);
  EXPECT_NE(refused["error"].get<std::string>().find("/abs/other.ini"), std::string::npos);
  status = send(Make(http::verb::get, "/api/panel"), http::status::ok);
  EXPECT_EQ(status["pid"], 41);
  EXPECT_FALSE(status["readsOpened"].get<bool>());
  EXPECT_NE(status["text"].get<std::string>().find("/abs/other.ini"), std::string::npos);
  EXPECT_TRUE(panel.calls.empty());

  // Restart: closed first, then started; never started beside one that stays.
  json restarted = send(Make(http::verb::post, "/api/panel/restart", spoof), http::status::ok);
  EXPECT_EQ(panel.calls,
            (std::vector<std::string>{"close " + std::to_string(ApplyApi::kCloseWaitMs), started}));
  EXPECT_EQ(restarted["pid"], 77);
  for (PanelClose outcome : {PanelClose::stillRunning, PanelClose::refused}) {
    panel.calls.clear();
    panel.closes = outcome;
    send(Make(http::verb::post, "/api/panel/restart", "{}"), http::status::conflict);
    EXPECT_EQ(panel.calls.size(), 1u);
  }

  // Only the player's page: another site, or no session, closes nothing.
  panel.calls.clear();
  Request foreign = Make(http::verb::post, "/api/panel/restart", "{}");
  foreign.set(http::field::origin, "http://evil.example");
  EXPECT_EQ(handler.Handle(foreign).response.result(), http::status::forbidden);
  Request noCookie = Make(http::verb::post, "/api/panel/start", "{}");
  noCookie.erase(http::field::cookie);
  EXPECT_EQ(handler.Handle(noCookie).response.result(), http::status::forbidden);
  EXPECT_EQ(handler.Handle(Make(http::verb::get, "/api/panel/restart")).response.result(),
            http::status::not_found);
  EXPECT_TRUE(panel.calls.empty());

  // No program beside zq-setup, or no file yet: said, nothing started.
  panel.running = RunningPanel{};
  panel.executable.clear();
  send(Make(http::verb::post, "/api/panel/start", "{}"), http::status::conflict);
  panel.executable = "/opt/zq/zq-thrust";
  SettingsApi unsaved(*ops_, (dir_ / "new.ini").string(), std::string(kExampleSetupText));
  ASSERT_EQ(unsaved.Open(), "");
  ApplyApi applyUnsaved(unsaved, unsaved, panel);
  RequestHandler unsavedHandler(kToken, kSession, kPort, applyUnsaved);
  json notSaved = json::parse(
      unsavedHandler.Handle(Make(http::verb::post, "/api/panel/start", "{}")).response.body());
  EXPECT_NE(notSaved["error"].get<std::string>().find("save it first"), std::string::npos);
  EXPECT_TRUE(panel.calls.empty());
}

// The live stream shows the keyboard only while a Bind waits for a key.
TEST(SetupUiLive, KeysReachThePageOnlyWhileABindWaits) {
  const std::string reading =
      R"({"joysticks":[{"id":0,"name":"Stick \u00e9","axes":[1,2],"buttons":[3],"pov":0}],)"
      R"("keys":[72,85,78,84,69,82]})";
  json hidden = json::parse(LiveForPage(reading, false));
  EXPECT_EQ(hidden["keys"], json::array());
  EXPECT_EQ(hidden["joysticks"], json::parse(reading)["joysticks"]);
  EXPECT_EQ(json::parse(LiveForPage(reading, true)), json::parse(reading));
  for (const char* odd : {"", "garbage", "[1]", "{\"joysticks\":[]}"}) {
    json j = json::parse(LiveForPage(odd, true), nullptr, false);
    ASSERT_TRUE(j.is_object()) << odd;
    EXPECT_EQ(j["keys"], json::array()) << odd;
  }
}

// Random bytes through Beast's parser and the handler: nothing crashes and
// the settings file stays as it was.
TEST_F(SetupUiTest, RandomRequestsNeverHurt) {
  const std::string before = ReadBytes(path_);
  std::mt19937 rng(15);
  const std::string starts[] = {"GET ", "POST ", "PUT ", "GET", "post "};
  const std::string targets[] = {
      "/api/save", "/api/check",          "/api/curve", "/?token=" + kToken,
      "/",         "/api/state?reload=1", "*",          "/../Setup.ini"};
  const std::string headers[] = {"Host: 127.0.0.1:40123\r\n",
                                 "Host: evil:40123\r\n",
                                 "Origin: http://127.0.0.1:40123\r\n",
                                 "Origin: null\r\n",
                                 "Cookie: zq_setup_40123=" + kSession + "\r\n",
                                 "Cookie: zq_setup_40123=;;=\r\n",
                                 "Sec-Fetch-Site: cross-site\r\n",
                                 "Content-Length: 42\r\n",
                                 "Transfer-Encoding: chunked\r\n",
                                 "X: \x01\xff\r\n"};
  const std::string bodies[] = {R"({"edits":{"Yaxis":"1 1"},"keepMine":true})",
                                R"({"points":[1,2,3,4,5,6,7,8,9,10,11]})", "\x00\xff", "[[[[", ""};
  auto pick = [&rng](const auto& list) { return list[rng() % std::size(list)]; };
  int answered = 0;
  for (int i = 0; i < 4000; ++i) {
    std::string text = pick(starts) + pick(targets) + " HTTP/1.1\r\n";
    for (int k = static_cast<int>(rng() % 6); k > 0; --k) text += pick(headers);
    text += "\r\n" + pick(bodies);
    for (int k = static_cast<int>(rng() % 3); k > 0; --k) {  // a few bytes spoilt
      if (rng() % 2 == 0) text[rng() % text.size()] = static_cast<char>(rng() % 256);
    }
    http::request_parser<http::string_body> parser;
    parser.eager(true);
    parser.body_limit(kMaxBodyBytes);
    boost::beast::error_code ec;
    parser.put(boost::asio::buffer(text), ec);
    if (ec || !parser.is_done()) continue;
    Reply r = handler_->Handle(parser.get());
    ++answered;
    // Saving needs the whole exact request; anything else is refused.
    if (r.response.result() == http::status::ok && parser.get().target() == "/api/save") {
      WriteBytes(path_, before);
      ASSERT_EQ(api_->Open(), "");
    }
  }
  EXPECT_GT(answered, 10);
  EXPECT_EQ(ReadBytes(path_), before);
}

}  // namespace
}  // namespace zq::setup::ui

namespace zq::setup::ui {
namespace {

// A profile's name is one plain name in the folder, on both systems.
TEST(ProfileNames, OnlyPlainNamesInTheFolderAreTaken) {
  for (const char* good : {"a10", "f16.ini", "Spitfire Mk IX", "su-27_2", "émile"}) {
    EXPECT_EQ(ProfileNameProblem(good), "") << good;
  }
  for (const char* bad :
       {"",    "..",  ".",    "../x", "x/y", "x\\y", ".hidden", "a..b", "name.",    "name ",  "a:b",
        "a*b", "a?b", "a\"b", "a<b",  "a|b", "con",  "CON.ini", "lpt1", "com9.ini", "nul.txt"}) {
    EXPECT_NE(ProfileNameProblem(bad), "") << bad;
  }
  EXPECT_NE(ProfileNameProblem(std::string("a\0b", 3)), "");
  EXPECT_NE(ProfileNameProblem("a\x01"
                               "b"),
            "");
  EXPECT_NE(ProfileNameProblem("a\tb"), "");
  EXPECT_NE(ProfileNameProblem(std::string(65, 'a')), "");
  EXPECT_EQ(ProfileNameProblem(std::string(64, 'a')), "");
}

}  // namespace
}  // namespace zq::setup::ui
