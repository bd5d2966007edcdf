// The configurator's request handler on any bytes, parsed as the server
// parses them: it never crashes, never answers 200 without the session (but
// to the token's own exchange), sends no CORS header, and the settings file
// changes only by a save it reports.
//
// Input: one byte of flags that put in the right Host (1), session cookie
// (2), Origin (4), and start from an ANSI file with high bytes on binding
// lines (8) instead of the example; the rest is the raw HTTP request.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <nlohmann/json.hpp>

#include "kit/fakes.h"
#include "tools/example_setup.h"
#include "zq_setup/ui/ui_api.h"
#include "zq_setup/ui/ui_http.h"

namespace {

namespace fs = std::filesystem;
using namespace zq::setup::ui;

constexpr unsigned short kPort = 40123;
const std::string kToken = "0123456789abcdef0123456789abcdef";
const std::string kSession = "fedcba9876543210fedcba9876543210";

// The example as an ANSI (cp1252) editor saves it: high bytes in values.
std::string AnsiExample() {
  std::string text(zq::kExampleSetupText);
  auto put = [&text](std::string_view from, std::string_view to) {
    if (size_t at = text.find(from); at != std::string::npos) text.replace(at, from.size(), to);
  };
  put("fire=0 1", "fire=\xE9");
  put("chat=-1 192", "chat=-1 192 \x80\xFF");
  put("Y=", "; r\xE9glage\nY=");
  return text;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// One folder per process, so that two runs side by side never meet.
struct Folder {
  Folder() {
    std::string pattern = (fs::temp_directory_path() / "zq-fuzz-setup-XXXXXX").string();
    dir = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    if (dir.empty()) std::abort();
    path = dir + "/Setup.ini";
    WriteAll(path, std::string(zq::kExampleSetupText));
  }
  ~Folder() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  std::string dir, path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Folder folder;
  static const std::string example = std::string(zq::kExampleSetupText);
  static const std::string ansi = AnsiExample();
  static std::unique_ptr<zq::FileOps> ops = zq::MakePlatformFileOps();
  if (size == 0) return 0;
  const uint8_t flags = data[0];
  const std::string& original = (flags & 8) ? ansi : example;
  WriteAll(folder.path, original);

  http::request_parser<http::string_body> parser;
  parser.header_limit(8 * 1024);  // as the server reads
  parser.body_limit(kMaxBodyBytes);
  parser.eager(true);
  boost::beast::error_code ec;
  parser.put(boost::asio::buffer(data + 1, size - 1), ec);
  if (!ec && !parser.is_done()) parser.put_eof(ec);
  if (ec || !parser.is_done()) return 0;  // the server drops such a client
  Request req = parser.release();
  const std::string host = "127.0.0.1:" + std::to_string(kPort);
  if (flags & 1) req.set(http::field::host, host);
  if (flags & 2) req.set(http::field::cookie, "zq_setup_" + std::to_string(kPort) + "=" + kSession);
  if (flags & 4) req.set(http::field::origin, "http://" + host);

  SettingsApi api(*ops, folder.path, original);
  ZQ_KIT_CHECK(api.Open().empty());
  RequestHandler handler(kToken, kSession, kPort, api);
  Reply reply = handler.Handle(req);
  const Response& res = reply.response;

  for (const auto& field : res)
    ZQ_KIT_CHECK(std::string(field.name_string()).rfind("Access-Control", 0) != 0);
  bool tokenSent = CookieValue(req[http::field::cookie], handler.CookieName()) == kSession;
  // A 200 needs the session, or is the exchange of the right token, which
  // hands the session over.
  const bool exchange = res[http::field::set_cookie].find(kSession) != std::string_view::npos;
  if (exchange) {
    ZQ_KIT_CHECK(std::string_view(req.body()).find(kToken) != std::string_view::npos ||
                 std::string_view(req.target()).find(kToken) != std::string_view::npos);
  }
  if (res.result() == http::status::ok) ZQ_KIT_CHECK(tokenSent || exchange);
  // Every JSON answer is JSON, whatever bytes the file holds.
  if (res[http::field::content_type] == "application/json")
    ZQ_KIT_CHECK(nlohmann::json::accept(res.body()));

  const std::string now = ReadAll(folder.path);
  if (now != original) {
    bool saved = req.method() == http::verb::post && req.target() == "/api/save" &&
                 res.result() == http::status::ok &&
                 res.body().find("\"saved\":true") != std::string::npos;
    ZQ_KIT_CHECK(saved && tokenSent);
    // the next input starts from its file again
    std::remove((folder.path + ".bak").c_str());
  }
  return 0;
}
