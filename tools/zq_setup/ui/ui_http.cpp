#include "zq_setup/ui/ui_http.h"

#include "zq_setup/ui/web_assets.h"

namespace zq::setup::ui {

namespace {

Response Plain(const Request& req, http::status status, std::string_view text) {
  Response res{status, req.version()};
  res.set(http::field::content_type, "text/plain; charset=utf-8");
  res.body() = std::string(text);
  return res;
}

// Headers every answer carries: nothing is cached, framed or sniffed.
void Harden(Response& res) {
  res.set(http::field::cache_control, "no-store");
  res.set("X-Content-Type-Options", "nosniff");
  res.set("X-Frame-Options", "DENY");
  res.set("Referrer-Policy", "no-referrer");
  res.set("Content-Security-Policy",
          "default-src 'self'; img-src 'self' data:; style-src 'self'; script-src 'self'; "
          "connect-src 'self'; frame-ancestors 'none'; form-action 'none'; base-uri 'none'");
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::string_view CookieValue(std::string_view header, std::string_view name) {
  while (!header.empty()) {
    size_t semi = header.find(';');
    std::string_view part = Trim(header.substr(0, semi));
    size_t eq = part.find('=');
    if (eq != std::string_view::npos && Trim(part.substr(0, eq)) == name)
      return Trim(part.substr(eq + 1));
    if (semi == std::string_view::npos) break;
    header.remove_prefix(semi + 1);
  }
  return {};
}

std::string_view QueryValue(std::string_view query, std::string_view name) {
  while (!query.empty()) {
    size_t amp = query.find('&');
    std::string_view part = query.substr(0, amp);
    size_t eq = part.find('=');
    if (eq != std::string_view::npos && part.substr(0, eq) == name) return part.substr(eq + 1);
    if (amp == std::string_view::npos) break;
    query.remove_prefix(amp + 1);
  }
  return {};
}

std::string RequestHandler::FirstAddress() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/?token=" + token_;
}

bool RequestHandler::HostAllowed(std::string_view host) const {
  std::string port = ":" + std::to_string(port_);
  return host == "127.0.0.1" + port || host == "localhost" + port;
}

bool RequestHandler::OriginAllowed(std::string_view origin, std::string_view host) const {
  return origin == "http://" + std::string(host);
}

bool RequestHandler::TokenMatches(std::string_view candidate) const {
  if (token_.empty() || candidate.size() != token_.size()) return false;
  unsigned diff = 0;  // the same time whatever matches
  for (size_t i = 0; i < token_.size(); ++i)
    diff |= static_cast<unsigned char>(candidate[i] ^ token_[i]);
  return diff == 0;
}

Reply RequestHandler::Handle(const Request& req) const {
  Reply reply;
  Response& res = reply.response;
  std::string_view host = req[http::field::host];
  std::string_view target = req.target();
  size_t q = target.find('?');
  std::string_view path = target.substr(0, q);
  std::string_view query = q == std::string_view::npos ? std::string_view{} : target.substr(q + 1);
  bool get = req.method() == http::verb::get;
  bool post = req.method() == http::verb::post;

  if (!HostAllowed(host)) {
    res = Plain(req, http::status::forbidden, "This address is not for this server.\n");
  } else if (!get && !post) {
    res = Plain(req, http::status::method_not_allowed, "Only GET and POST.\n");
    res.set(http::field::allow, "GET, POST");
  } else if (req.body().size() > kMaxBodyBytes) {
    res = Plain(req, http::status::payload_too_large, "The request is too large.\n");
  } else if (post && !OriginAllowed(req[http::field::origin], host)) {
    res = Plain(req, http::status::forbidden, "Changes come only from the configurator's page.\n");
  } else if (get && path == "/" && !query.empty()) {
    // The first address: trade the token for a cookie and clean the address bar.
    if (!TokenMatches(QueryValue(query, "token"))) {
      res = Plain(req, http::status::forbidden,
                  "This address is out of date: start zq-setup again and use the address it "
                  "opens.\n");
    } else {
      res = Plain(req, http::status::see_other, "");
      res.set(http::field::location, "/");
      res.set(http::field::set_cookie,
              std::string(kCookieName) + "=" + token_ + "; Path=/; HttpOnly; SameSite=Strict");
    }
  } else if (!TokenMatches(CookieValue(req[http::field::cookie], kCookieName))) {
    res = Plain(req, http::status::forbidden,
                "Open the configurator from the address zq-setup printed or opened.\n");
  } else if (path.substr(0, 5) == "/api/") {
    res = Response{http::status::ok, req.version()};
    res.set(http::field::content_type, "application/json");
    if (get && path == "/api/live") {
      res.set(http::field::content_type, "text/event-stream");
      reply.eventStream = true;
    } else if (!api_.Answer(req, path, query, res)) {
      res = Plain(req, http::status::not_found, "No such request.\n");
    }
  } else {
    std::string_view file = path == "/" ? "/index.html" : path;
    const WebAsset* found = nullptr;
    for (size_t i = 0; i < kWebAssetCount; ++i) {
      if (kWebAssets[i].path == file) found = &kWebAssets[i];
    }
    if (found == nullptr || !get) {
      res = Plain(req, http::status::not_found, "No such page.\n");
    } else {
      res = Response{http::status::ok, req.version()};
      res.set(http::field::content_type, found->contentType);
      res.body() = std::string(found->bytes);
    }
  }
  Harden(res);
  // Refused requests end their connection; the page's own keep it open.
  res.keep_alive(!reply.eventStream && res.result() != http::status::forbidden && req.keep_alive());
  if (!reply.eventStream) res.prepare_payload();
  return reply;
}

}  // namespace zq::setup::ui
