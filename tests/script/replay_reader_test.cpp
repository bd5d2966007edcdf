// The script reader of zq-replay: what is malformed, what is not.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>

#include "platform/script/replay.h"

namespace zq {
namespace {

struct Outcome {
  int status;
  std::string out, err;
};

Outcome Replay(const std::string& script) {
  std::istringstream in(script);
  std::ostringstream out, err;
  ReplayOptions options;
  options.setupPath = testing::TempDir() + "zq-no-such-settings.ini";
  int status = RunReplay(options, in, "t.script", out, err);
  return {status, out.str(), err.str()};
}

TEST(ReplayReader, AcceptsTheWholeGrammar) {
  Outcome r = Replay(
      "# comment\n\n  \t\nkey 0x50 0X80   # trailing comment\nkey 255 255\njoy 15 10 4294967295\n"
      "joy 0 0 0xFFFFFFFF\nbutton 3 32 down\nbutton 3 1 up\nunplug 3\nplug 4\n"
      "sendfail 0\nsendfail 2147483647\nsendfail short\nsendfail nosocket\ntick 0\ntick\n"
      "tick 3\r\ndump\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.err.empty());
  EXPECT_NE(r.out.find("{\"tick\":4,\"event\":\"state\""), std::string::npos);
}

TEST(ReplayReader, MalformedLinesStopTheRunWithFileAndLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"KEY 1 1", "t.script:2: unknown command 'KEY'"},
      {"key 256 0", "t.script:2: virtual key '256' is not a number from 0 to 255"},
      {"key 1", "t.script:2: 'key' takes 2 arguments, found 1"},
      {"key -1 0", "t.script:2: virtual key '-1' is not a number from 0 to 255"},
      {"key +1 0", "t.script:2: virtual key '+1' is not a number from 0 to 255"},
      {"joy 16 0 0", "t.script:2: joystick id '16' is not a number from 0 to 15"},
      {"joy 0 11 0", "t.script:2: record word '11' is not a number from 0 to 10"},
      {"joy 0 0 4294967296", "t.script:2: value '4294967296' is not a number from 0 to 4294967295"},
      {"button 0 0 down", "t.script:2: button number '0' is not a number from 1 to 32"},
      {"button 0 33 down", "t.script:2: button number '33' is not a number from 1 to 32"},
      {"button 0 1 pressed", "t.script:2: button state 'pressed' is neither 'down' nor 'up'"},
      {"sendfail 2147483648",
       "t.script:2: socket error code '2147483648' is not a number from 0 to 2147483647, 'short' "
       "or 'nosocket'"},
      {"tick 1 2", "t.script:2: 'tick' takes at most 1 argument, found 2"},
      {"tick x", "t.script:2: tick count 'x' is not a number from 0 to 2147483647"},
      {"dump 1", "t.script:2: 'dump' takes 0 arguments, found 1"},
      {"key 0x 1", "t.script:2: virtual key '0x' is not a number from 0 to 255"},
  };
  for (auto [line, message] : cases) {
    Outcome r = Replay(std::string("tick\n") + line + "\ntick\n");
    EXPECT_EQ(r.status, 2) << line;
    EXPECT_EQ(r.err, std::string(message) + "\n") << line;
    EXPECT_EQ(r.out.find("\"tick\":2"), std::string::npos) << line;  // nothing after the line
  }
}

TEST(ReplayReader, GarbageNeverCrashes) {
  std::mt19937 rng(5);
  for (int n = 0; n < 300; ++n) {
    std::string script;
    size_t size = rng() % 400;
    for (size_t i = 0; i < size; ++i)
      script +=
          static_cast<char>(rng() % 4 ? "0123 tickey\n"[rng() % 12] : static_cast<char>(rng()));
    Outcome r = Replay(script);
    EXPECT_TRUE(r.status == 0 || r.status == 2);
    if (r.status == 2) {
      EXPECT_EQ(r.err.rfind("t.script:", 0), 0u);
    }
  }
  Outcome huge = Replay(std::string(1 << 20, 'z') + "\n");
  EXPECT_EQ(huge.status, 2);
  EXPECT_LT(huge.err.size(), 200u);  // the message quotes only the start of the word
}

}  // namespace
}  // namespace zq
