// The configurator's HTTP side as a plain function of one request: the
// token, Host and Origin rules, the routes and the embedded page. Sockets
// live elsewhere (ui_server), so all of this is tested and fuzzed without them.
#pragma once

#include <utility>  // GCC 12 in C++20 needs it before Asio/Beast

#include <boost/beast/http.hpp>
#include <cstddef>
#include <string>
#include <string_view>

namespace zq::setup::ui {

namespace http = boost::beast::http;
using Request = http::request<http::string_body>;
using Response = http::response<http::string_body>;

constexpr size_t kMaxBodyBytes = 64 * 1024;
constexpr std::string_view kCookieName = "zq_setup_token";

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
};

class RequestHandler {
 public:
  RequestHandler(std::string token, unsigned short port, ApiRoutes& api)
      : token_(std::move(token)), port_(port), api_(api) {}
  Reply Handle(const Request& req) const;
  unsigned short Port() const { return port_; }
  // The first address: it carries the token once, then the cookie does.
  std::string FirstAddress() const;

 private:
  bool HostAllowed(std::string_view host) const;
  bool OriginAllowed(std::string_view origin, std::string_view host) const;
  bool TokenMatches(std::string_view candidate) const;

  std::string token_;
  unsigned short port_;
  ApiRoutes& api_;
};

// The value of one cookie in a Cookie header ("" when absent).
std::string_view CookieValue(std::string_view header, std::string_view name);
// The value of one parameter in a query string ("" when absent).
std::string_view QueryValue(std::string_view query, std::string_view name);

// 32 hex digits from the system's random source; "" when it fails.
std::string NewToken();

}  // namespace zq::setup::ui
