// The configurator's HTTP side as a plain function of one request: the
// token, Host and Origin rules, the routes and the embedded page. Sockets
// live elsewhere (ui_server), so all of this is tested and fuzzed without them.
#pragma once

#include <utility>  // GCC 12 in C++20 needs it before Asio/Beast

#include <boost/beast/http.hpp>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace zq::setup::ui {

namespace http = boost::beast::http;
using Request = http::request<http::string_body>;
using Response = http::response<http::string_body>;

constexpr size_t kMaxBodyBytes = 64 * 1024;
// The session cookie's name is this and the port: two configurators side by
// side keep their own.
constexpr std::string_view kCookiePrefix = "zq_setup_";
// The port a file is served on when --port does not say: the same for the
// same file, by its absolute path with links resolved, so that the page's
// origin, and what the browser keeps for it, is the same when zq-setup is
// started again on that file. One of kFilePortCount from kFilePortFirst,
// below the ports the systems hand out for outgoing connections.
constexpr unsigned short kFilePortFirst = 24000;
constexpr unsigned short kFilePortCount = 8000;
unsigned short FilePort(const std::string& path);
// The file's absolute path with links resolved, as the page names what it
// keeps for that file.
std::string CanonicalPath(const std::string& path);

// Where the token page posts the token to.
constexpr std::string_view kSessionPath = "/session";

// Answers the API routes (/api/...) once a request has passed the checks.
class ApiRoutes {
 public:
  virtual ~ApiRoutes() = default;
  // Sets status and body (JSON); false when the route is not known.
  virtual bool Answer(const Request& req, std::string_view path, std::string_view query,
                      Response& res) = 0;
};

struct Reply {
  Response response;
  bool eventStream = false;  // the caller keeps it open and sends live events
  bool trusted = false;      // the request showed the session cookie or the token
};

// The token opens the configurator once: the first exchange (the first
// address, or the token page's form) turns it into the session cookie, and
// later ones are refused. The cookie alone is then the key.
class RequestHandler {
 public:
  // `session`: the cookie's value, given at the exchange; "" never matches.
  RequestHandler(std::string token, std::string session, unsigned short port, ApiRoutes& api)
      : token_(std::move(token)), session_(std::move(session)), port_(port), api_(api) {}
  Reply Handle(const Request& req);
  unsigned short Port() const { return port_; }
  // The first address: it carries the token once, then the cookie does.
  std::string FirstAddress() const;
  std::string CookieName() const;
  // A page for the browser that posts the token to this server: it opens the
  // configurator without the token on any command line.
  std::string TokenPage() const;
  bool TokenUsed() const { return tokenUsed_; }
  // Called once, when the token has been exchanged.
  void OnExchange(std::function<void()> f) { onExchange_ = std::move(f); }

 private:
  bool HostAllowed(std::string_view host) const;
  bool OriginAllowed(std::string_view origin, std::string_view host) const;
  Reply Exchange(const Request& req, std::string_view candidate, bool haveSession, bool fromForm);

  std::string token_;
  std::string session_;
  unsigned short port_;
  ApiRoutes& api_;
  bool tokenUsed_ = false;
  std::function<void()> onExchange_;
};

// Compares in the same time whatever matches; "" matches nothing.
bool SecretMatches(std::string_view secret, std::string_view candidate);

// The value of one cookie in a Cookie header ("" when absent).
std::string_view CookieValue(std::string_view header, std::string_view name);
// The value of one parameter in a query string ("" when absent).
std::string_view QueryValue(std::string_view query, std::string_view name);

// A reading of the devices as the live stream sends it: the keyboard only
// while `keys` (a Bind waits for a key), otherwise no key at all.
std::string LiveForPage(const std::string& reading, bool keys);

// 32 hex digits from the system's random source; "" when it fails.
std::string NewToken();

}  // namespace zq::setup::ui
