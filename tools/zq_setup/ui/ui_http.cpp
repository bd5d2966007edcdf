#include "zq_setup/ui/ui_http.h"

#include <nlohmann/json.hpp>

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

std::string LiveForPage(const std::string& reading, bool keys) {
  nlohmann::json j = nlohmann::json::parse(reading, nullptr, false);
  if (!j.is_object()) j = nlohmann::json{{"joysticks", nlohmann::json::array()}};
  if (!keys || !j.contains("keys")) j["keys"] = nlohmann::json::array();
  return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string RequestHandler::FirstAddress() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/?token=" + token_;
}

std::string RequestHandler::CookieName() const {
  return std::string(kCookiePrefix) + std::to_string(port_);
}

std::string RequestHandler::TokenPage() const {
  // Only hex digits and a number go into it: nothing to escape.
  return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
         "<title>ZQ - Thrust: opening the configurator</title></head><body>\n"
         "<form method=\"post\" action=\"http://127.0.0.1:" +
         std::to_string(port_) + std::string(kSessionPath) +
         "\">\n<input type=\"hidden\" name=\"token\" value=\"" + token_ +
         "\">\n<p>Opening the configurator&hellip; <button type=\"submit\">Open it</button></p>"
         "\n</form>\n<script>document.forms[0].submit();</script>\n</body></html>\n";
}

bool RequestHandler::HostAllowed(std::string_view host) const {
  std::string port = ":" + std::to_string(port_);
  return host == "127.0.0.1" + port || host == "localhost" + port;
}

bool RequestHandler::OriginAllowed(std::string_view origin, std::string_view host) const {
  return origin == "http://" + std::string(host);
}

bool SecretMatches(std::string_view secret, std::string_view candidate) {
  if (secret.empty() || candidate.size() != secret.size()) return false;
  unsigned diff = 0;  // the same time whatever matches
  for (size_t i = 0; i < secret.size(); ++i)
    diff |= static_cast<unsigned char>(candidate[i] ^ secret[i]);
  return diff == 0;
}

// Into the page. A redirect answers the first address, typed or opened
// (the address bar loses the token). The token page's form comes from a
// file, another site: a redirect would carry that on, and the page would
// load as another site's, without the cookie. So the form gets a page that
// moves on to "/" itself, from this server's own site.
static Response IntoThePage(const Request& req, bool fromForm) {
  if (!fromForm) {
    Response res = Plain(req, http::status::see_other, "");
    res.set(http::field::location, "/");
    return res;
  }
  Response res{http::status::ok, req.version()};
  res.set(http::field::content_type, "text/html; charset=utf-8");
  res.body() =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
      "<meta http-equiv=\"refresh\" content=\"0;url=/\">"
      "<title>ZQ - Thrust: opening the configurator</title></head>"
      "<body><p><a href=\"/\">Open the configurator</a></p></body></html>\n";
  return res;
}

Reply RequestHandler::Exchange(const Request& req, std::string_view candidate, bool haveSession,
                               bool fromForm) {
  Reply reply;
  Response& res = reply.response;
  bool token = SecretMatches(token_, candidate);
  if (token && !tokenUsed_) {
    tokenUsed_ = true;
    res = IntoThePage(req, fromForm);
    res.set(http::field::set_cookie,
            CookieName() + "=" + session_ + "; Path=/; HttpOnly; SameSite=Strict");
    reply.trusted = true;
    if (onExchange_) onExchange_();
  } else if (haveSession) {
    // The player's own browser, already in: back to the page, nothing new given.
    res = IntoThePage(req, fromForm);
    reply.trusted = true;
  } else if (token) {
    res = Plain(req, http::status::forbidden,
                "This address has already opened the configurator: it opens it only once.\n"
                "To open the configurator again, stop zq-setup (Ctrl+C) and start it again: "
                "it gives a new address.\n");
  } else {
    res = Plain(req, http::status::forbidden,
                "This address is out of date: start zq-setup again and use the address it "
                "opens.\n");
  }
  return reply;
}

Reply RequestHandler::Handle(const Request& req) {
  Reply reply;
  Response& res = reply.response;
  std::string_view host = req[http::field::host];
  std::string_view target = req.target();
  size_t q = target.find('?');
  std::string_view path = target.substr(0, q);
  std::string_view query = q == std::string_view::npos ? std::string_view{} : target.substr(q + 1);
  bool get = req.method() == http::verb::get;
  bool post = req.method() == http::verb::post;
  std::string_view origin = req[http::field::origin];
  std::string_view fetchSite = req["Sec-Fetch-Site"];
  bool api = path.substr(0, 5) == "/api/";
  // The two ways in with the token: the first address typed or opened, and
  // the token page's form (a file page: its Origin is "null").
  bool firstAddress = get && path == "/" && !query.empty();
  bool tokenForm = post && path == kSessionPath;
  bool haveSession = SecretMatches(session_, CookieValue(req[http::field::cookie], CookieName()));

  if (!HostAllowed(host)) {
    res = Plain(req, http::status::forbidden, "This address is not for this server.\n");
  } else if (!get && !post) {
    res = Plain(req, http::status::method_not_allowed, "Only GET and POST.\n");
    res.set(http::field::allow, "GET, POST");
  } else if (req.body().size() > kMaxBodyBytes) {
    res = Plain(req, http::status::payload_too_large, "The request is too large.\n");
  } else if (firstAddress || tokenForm) {
    if (tokenForm && !(origin == "null" || OriginAllowed(origin, host))) {
      res = Plain(req, http::status::forbidden, "The token comes only from zq-setup's page.\n");
    } else {
      reply =
          Exchange(req, tokenForm ? QueryValue(req.body(), "token") : QueryValue(query, "token"),
                   haveSession, tokenForm);
    }
  } else if ((fetchSite == "same-site" || fetchSite == "cross-site") ||
             (post && !OriginAllowed(origin, host)) ||
             (api && !origin.empty() && !OriginAllowed(origin, host))) {
    // Other pages, other services on 127.0.0.1 among them, reach nothing.
    res = Plain(req, http::status::forbidden, "Changes come only from the configurator's page.\n");
  } else if (!haveSession) {
    res = Plain(req, http::status::forbidden,
                "Open the configurator from the address zq-setup printed or opened.\n");
  } else if (api) {
    reply.trusted = true;
    res = Response{http::status::ok, req.version()};
    res.set(http::field::content_type, "application/json");
    if (post && !nlohmann::json::accept(req.body())) {
      res.result(http::status::bad_request);
      res.body() = R"({"error":"the request is not JSON"})";
    } else if (get && path == "/api/live") {
      res.set(http::field::content_type, "text/event-stream");
      reply.eventStream = true;
    } else {
      bool known = false;
      try {
        known = api_.Answer(req, path, query, res);
      } catch (const std::exception&) {
        // A request the routes did not foresee: it fails alone, the server goes on.
        res = Response{http::status::internal_server_error, req.version()};
        res.set(http::field::content_type, "application/json");
        res.body() = R"({"error":"the configurator could not answer this request"})";
        known = true;
      }
      if (!known) res = Plain(req, http::status::not_found, "No such request.\n");
    }
  } else {
    reply.trusted = true;
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
