// The zq-replay script reader on any bytes: an optional Setup.ini before a
// line "%%", the script after it (or the whole input without one). A run ends
// with status 0, or 2 and one line naming the script line; every event is one
// JSON object on its own line; every message keeps the message grammar.
//
// `tick N` runs N ticks as the contract says, so an input asking for more
// ticks than a fuzzer can afford is turned away before it runs (only here:
// zq-replay itself keeps the full range).
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <string_view>

#include "kit/fakes.h"
#include "kit/invariants.h"
#include "platform/script/replay.h"

namespace {

constexpr uint64_t kMaxTicks = 4000;

// Counts the ticks a script asks for the way the reader splits its lines;
// a count that is not a number is malformed there and runs nothing.
uint64_t TicksAskedFor(std::string_view script) {
  uint64_t total = 0;
  while (!script.empty()) {
    size_t nl = script.find('\n');
    std::string_view line = script.substr(0, nl);
    script = nl == std::string_view::npos ? std::string_view{} : script.substr(nl + 1);
    line = line.substr(0, line.find('#'));
    std::string_view words[3];
    size_t count = 0;
    for (size_t i = 0; i < line.size() && count < 3;) {
      while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
      size_t start = i;
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
      if (i > start) words[count++] = line.substr(start, i - start);
    }
    if (count == 0 || words[0] != "tick") continue;
    if (count == 1) {
      ++total;
      continue;
    }
    std::string_view n = words[1];
    int base = 10;
    if (n.size() > 2 && n[0] == '0' && (n[1] == 'x' || n[1] == 'X')) {
      base = 16;
      n.remove_prefix(2);
    }
    uint64_t v = 0;
    for (char c : n) {
      int d = c >= '0' && c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
      if (d < 0 || d >= base) break;  // malformed: the reader stops there
      v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
      if (v > kMaxTicks) return kMaxTicks + 1;
    }
    total += v;
    if (total > kMaxTicks) return total;
  }
  return total;
}

std::string SetupPath() {
  return "/tmp/zq-fuzz-replay-" + std::to_string(getpid()) + ".ini";
}

void CheckEvents(const std::string& out) {
  std::istringstream lines(out);
  std::string line;
  bool first = true;
  while (std::getline(lines, line)) {
    ZQ_KIT_CHECK(line.starts_with("{\"tick\":") && line.ends_with("}"));
    if (first)
      ZQ_KIT_CHECK(line.find("\"event\":\"window\"") != std::string::npos ||
                   line.find("\"event\":\"error\"") != std::string::npos);
    first = false;
    constexpr std::string_view kSend = "\"event\":\"send\",\"data\":\"";
    size_t at = line.find(kSend);
    if (at == std::string::npos) continue;
    // the JSON string of the message: only its backslashes are escaped
    std::string message;
    for (size_t i = at + kSend.size(); i < line.size() && line[i] != '"'; ++i) {
      if (line[i] == '\\') ++i;
      message += line[i];
    }
    ZQ_KIT_CHECK(message.size() <= 256);
    ZQ_KIT_CHECK(zq::test::IsMessageGrammar(message));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  zq::ReplayOptions options;
  options.setupPath = "/nonexistent/zq-fuzz/Setup.ini";
  std::string_view script = input;
  size_t split = input.starts_with("%%\n") ? 0 : input.find("\n%%\n");
  static const std::string path = SetupPath();
  if (split != std::string_view::npos) {
    size_t scriptStart = split == 0 ? 3 : split + 4;
    std::string_view setup = input.substr(0, split);
    script = input.substr(scriptStart);
    if (TicksAskedFor(script) > kMaxTicks) return -1;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ZQ_KIT_CHECK(f != nullptr);
    std::fwrite(setup.data(), 1, setup.size(), f);
    std::fclose(f);
    options.setupPath = path;
  } else if (TicksAskedFor(script) > kMaxTicks) {
    return -1;
  }

  std::istringstream in{std::string(script)};
  std::ostringstream out, err;
  int status = zq::RunReplay(options, in, "fuzz.script", out, err);
  ZQ_KIT_CHECK(status == 0 || status == 2);
  std::string e = err.str();
  if (status == 0) ZQ_KIT_CHECK(e.empty());
  if (status == 2) {
    ZQ_KIT_CHECK(e.starts_with("fuzz.script:") && e.ends_with("\n"));
    ZQ_KIT_CHECK(e.find('\n') == e.size() - 1);
    ZQ_KIT_CHECK(e.size() < 400);
  }
  CheckEvents(out.str());
  return 0;
}
