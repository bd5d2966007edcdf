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
    handler_ = std::make_unique<RequestHandler>(kToken, kPort, *api_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A request as the page sends it; tests then spoil one part.
  static Request Make(http::verb verb, std::string target, std::string body = "") {
    Request req{verb, target, 11};
    req.set(http::field::host, "127.0.0.1:" + std::to_string(kPort));
    req.set(http::field::cookie, "other=1; zq_setup_token=" + kToken);
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
      {"wrong token",
       [](Request& r) { r.set(http::field::cookie, "zq_setup_token=" + std::string(32, '0')); }},
      {"short token", [](Request& r) { r.set(http::field::cookie, "zq_setup_token=0123"); }},
      {"empty token", [](Request& r) { r.set(http::field::cookie, "zq_setup_token="); }},
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
      if (verb == http::verb::get && std::string(c.what).find("Origin") != std::string::npos)
        continue;  // reading needs no Origin
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
  Request local = Make(http::verb::post, "/api/check", "{}");
  local.set(http::field::host, "localhost:" + port);
  local.set(http::field::origin, "http://localhost:" + port);
  EXPECT_EQ(Send(local).result(), http::status::ok);
}

TEST_F(SetupUiTest, TheFirstAddressTradesItsTokenForAStrictCookie) {
  Request first = Make(http::verb::get, "/?token=" + kToken);
  first.erase(http::field::cookie);
  EXPECT_EQ(handler_->FirstAddress(), "http://127.0.0.1:40123/?token=" + kToken);
  Response res = Send(first);
  EXPECT_EQ(res.result(), http::status::see_other);
  EXPECT_EQ(res[http::field::location], "/");  // the address bar loses the token
  EXPECT_EQ(res[http::field::set_cookie],
            "zq_setup_token=" + kToken + "; Path=/; HttpOnly; SameSite=Strict");

  Request wrong = Make(http::verb::get, "/?token=" + std::string(32, 'f'));
  wrong.erase(http::field::cookie);
  EXPECT_EQ(Send(wrong).result(), http::status::forbidden);
  EXPECT_EQ(NewToken().size(), 32u);
  EXPECT_NE(NewToken(), NewToken());
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
  json bad = SendJson(Make(http::verb::post, "/api/check", "not json"), http::status::bad_request);
  EXPECT_TRUE(bad.contains("error"));
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
                                 "Cookie: zq_setup_token=" + kToken + "\r\n",
                                 "Cookie: zq_setup_token=;;=\r\n",
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
