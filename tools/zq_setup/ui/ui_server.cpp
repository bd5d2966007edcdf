#include "zq_setup/ui/ui_server.h"

#include "control/tick_length.h"

#include <utility>  // GCC 12 in C++20 needs it before Asio

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <list>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>

#include "platform/panel_picture.h"
#include "zq_setup/ui/apply_api.h"
#include "zq_setup/ui/preview_api.h"
#include "zq_setup/ui/profiles_api.h"
#include "zq_setup/ui/sticks_api.h"
#include "zq_setup/ui/ui_api.h"
#include "zq_setup/ui/ui_http.h"

namespace zq::setup::ui {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
using tcp = asio::ip::tcp;
using namespace std::chrono_literals;

constexpr auto kReadTimeout = 10s;  // a slow client loses its connection, not the server
// A connection that has not shown the cookie or the token yet: a short time
// for its first request, and a few of them at once, the oldest let go first.
constexpr auto kFirstRequestTimeout = 3s;
constexpr size_t kMaxStrangers = 32;
constexpr auto kAcceptPause = 100ms;  // out of descriptors: wait, never spin
// While a Bind waits for a key, the page sees every key, for as long as the
// page waits (10 s), counted in ticks.
constexpr int kBindTicks = 10000 / zq::kTickMs;
constexpr auto kLivePeriod = std::chrono::milliseconds(zq::kTickMs);  // the panel's tick
constexpr unsigned kMaxHeaderBytes = 8 * 1024;

class Server;

class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(tcp::socket socket, Server& server) : stream_(std::move(socket)), server_(server) {}
  void Start() { Read(); }
  void SendLive(const std::string& event);
  // Ends the stream once what is queued has been sent.
  void EndLive() {
    closing_ = true;
    if (!writing_) Close();
  }
  bool Trusted() const { return trusted_; }
  void Close() {
    beast::error_code ec;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ec);
    stream_.socket().close(ec);
  }

 private:
  void Read();
  void OnRead(beast::error_code ec);
  void StartLive(Response res);

  beast::tcp_stream stream_;
  Server& server_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  std::shared_ptr<Response> reply_;
  std::string liveOut_;
  bool writing_ = false;
  bool trusted_ = false;
  bool closing_ = false;  // the stream ends once what is queued has gone
};

class Server : public ApiRoutes {
 public:
  Server(asio::io_context& io, tcp::acceptor& acceptor, LiveSource& live, PreviewApi& preview,
         ApiRoutes& routes, int idleSeconds)
      : io_(io),
        preview_(preview),
        routes_(&routes),
        acceptor_(acceptor),
        live_(live),
        ticker_(io),
        idle_(io),
        pause_(io),
        idleSeconds_(idleSeconds) {}

  void SetHandler(RequestHandler& handler) { handler_ = &handler; }
  // The requests in front of the preview's (which go on to it).
  RequestHandler& Handler() { return *handler_; }

  void Accept() {
    acceptor_.async_accept([this](beast::error_code ec, tcp::socket socket) {
      if (!acceptor_.is_open()) return;
      if (ec) {
        // Out of descriptors (or another passing failure): a pause lets
        // connections close before the next try, instead of failing at once
        // over and over.
        pause_.expires_after(kAcceptPause);
        pause_.async_wait([this](beast::error_code e) {
          if (!e) Accept();
        });
        return;
      }
      auto session = std::make_shared<Session>(std::move(socket), *this);
      AddStranger(session);
      session->Start();
      Accept();
    });
  }

  // A connection that has not shown who it is yet.
  void AddStranger(const std::shared_ptr<Session>& s) {
    strangers_.push_back(s);
    while (strangers_.size() > kMaxStrangers) {
      if (auto oldest = strangers_.front().lock()) oldest->Close();
      strangers_.pop_front();
    }
  }
  void Trust(const Session* s) {
    strangers_.remove_if([s](const std::weak_ptr<Session>& w) {
      auto p = w.lock();
      return !p || p.get() == s;
    });
  }

  // One live stream for the session: a newer page takes it over, and the
  // older one is told so.
  void AddLive(const std::shared_ptr<Session>& s) {
    std::shared_ptr<Session> old = std::move(live_session_);
    live_session_ = s;
    chainSent_.clear();  // the new page gets the chain at once
    idle_.cancel();
    if (old) {
      old->SendLive("event: replaced\ndata: {}\n\n");
      old->EndLive();
    } else {
      bindTicks_ = 0;
      Tick();
    }
  }
  void RemoveLive(const std::shared_ptr<Session>& s) {
    if (live_session_ != s) return;
    live_session_.reset();
    bindTicks_ = 0;
    ticker_.cancel();
    idle_.expires_after(std::chrono::seconds(idleSeconds_));
    idle_.async_wait([this](beast::error_code ec) {
      if (!ec && !live_session_) Stop();
    });
  }
  void Stop() {
    beast::error_code ec;
    acceptor_.close(ec);
    ticker_.cancel();
    idle_.cancel();
    pause_.cancel();
    if (live_session_) live_session_->Close();
    io_.stop();
  }

  // POST /api/live/bind {"waiting": true|false}: a Bind waits for a key, or
  // no longer does. Everything else goes on to the preview and settings.
  bool Answer(const Request& req, std::string_view path, std::string_view query,
              Response& res) override {
    if (path != "/api/live/bind") return routes_->Answer(req, path, query, res);
    if (req.method() != http::verb::post) return false;
    nlohmann::json body = nlohmann::json::parse(req.body(), nullptr, false);
    if (!body.is_object() || !body.contains("waiting") || !body["waiting"].is_boolean()) {
      res.result(http::status::bad_request);
      res.body() = R"({"error":"waiting: true or false"})";
      return true;
    }
    bindTicks_ = body["waiting"].get<bool>() && live_session_ ? kBindTicks : 0;
    res.body() = nlohmann::json{{"keys", bindTicks_ > 0}}.dump();
    return true;
  }

 private:
  // One reading of the devices for the open page, on the panel's period.
  void Tick() {
    if (!live_session_) return;
    std::string reading = live_.Snapshot();
    live_session_->SendLive("data: " + LiveForPage(reading, bindTicks_ > 0) + "\n\n");
    if (bindTicks_ > 0) --bindTicks_;
    preview_.Tick(live_);
    // The preview's tick as it ran, pushed at once when it changed: a held
    // input lights its row in the same tick.
    if (std::string chain = preview_.ChainEvent(); !chain.empty() && chain != chainSent_) {
      live_session_->SendLive("event: chain\ndata: " + chain + "\n\n");
      chainSent_ = std::move(chain);
    }
    ticker_.expires_after(kLivePeriod);
    ticker_.async_wait([this](beast::error_code ec) {
      if (!ec) Tick();
    });
  }

  asio::io_context& io_;
  PreviewApi& preview_;
  ApiRoutes* routes_;  // the sticks', the panel's, the preview's and the settings' requests
  tcp::acceptor& acceptor_;
  RequestHandler* handler_ = nullptr;
  LiveSource& live_;
  asio::steady_timer ticker_;
  asio::steady_timer idle_;
  asio::steady_timer pause_;
  int idleSeconds_;
  int bindTicks_ = 0;
  std::string chainSent_;  // the chain the page has
  std::shared_ptr<Session> live_session_;
  std::list<std::weak_ptr<Session>> strangers_;
};

void Session::Read() {
  parser_.emplace();
  parser_->header_limit(kMaxHeaderBytes);
  parser_->body_limit(kMaxBodyBytes);
  stream_.expires_after(trusted_ ? kReadTimeout : kFirstRequestTimeout);
  http::async_read(stream_, buffer_, *parser_,
                   [self = shared_from_this()](beast::error_code ec, size_t) { self->OnRead(ec); });
}

void Session::OnRead(beast::error_code ec) {
  if (ec == http::error::body_limit) {
    reply_ = std::make_shared<Response>(http::status::payload_too_large, 11);
    reply_->keep_alive(false);
    reply_->prepare_payload();
  } else if (ec) {
    Close();  // garbage, a header too large, a client too slow: drop it
    return;
  } else {
    Reply reply;
    try {
      reply = server_.Handler().Handle(parser_->get());
    } catch (const std::exception&) {
      // Whatever a request meets, it fails alone: the server goes on serving.
      reply = Reply{};
      reply.response = Response{http::status::internal_server_error, parser_->get().version()};
      reply.response.set(http::field::content_type, "text/plain; charset=utf-8");
      reply.response.body() = "The configurator could not answer this request.\n";
      reply.response.keep_alive(false);
      reply.response.prepare_payload();
    }
    if (reply.trusted && !trusted_) {
      trusted_ = true;
      server_.Trust(this);
    }
    if (reply.eventStream) {
      StartLive(std::move(reply.response));
      return;
    }
    reply_ = std::make_shared<Response>(std::move(reply.response));
  }
  stream_.expires_after(kReadTimeout);
  // A browser asks for the page's files on the connection it already has.
  http::async_write(stream_, *reply_, [self = shared_from_this()](beast::error_code e, size_t) {
    if (!e && self->reply_->keep_alive())
      self->Read();
    else
      self->Close();
  });
}

void Session::StartLive(Response res) {
  stream_.expires_never();
  std::ostringstream head;
  res.set(http::field::connection, "close");
  head << res.base();
  liveOut_ = head.str();
  server_.AddLive(shared_from_this());
  // A read that ends tells the page has gone.
  asio::async_read(stream_.socket(), asio::buffer(buffer_.prepare(64)),
                   [self = shared_from_this()](beast::error_code, size_t) {
                     self->server_.RemoveLive(self);
                     self->Close();
                   });
}

void Session::SendLive(const std::string& event) {
  if (liveOut_.size() > 64 * 1024) return;  // a page that does not read loses readings
  liveOut_ += event;
  if (writing_) return;
  writing_ = true;
  auto out = std::make_shared<std::string>(std::move(liveOut_));
  liveOut_.clear();
  asio::async_write(stream_.socket(), asio::buffer(*out),
                    [self = shared_from_this(), out](beast::error_code ec, size_t) {
                      self->writing_ = false;
                      if (ec) {
                        self->server_.RemoveLive(self);
                        self->Close();
                      } else if (self->closing_ && self->liveOut_.empty()) {
                        self->Close();
                      } else if (!self->liveOut_.empty()) {
                        self->SendLive("");
                      }
                    });
}

// Serves on 127.0.0.1:port; the error when that cannot be done.
beast::error_code Listen(tcp::acceptor& acceptor, unsigned short port) {
  beast::error_code ec;
  tcp::endpoint where(asio::ip::make_address_v4("127.0.0.1"), port);
  if (acceptor.is_open()) acceptor.close(ec);
  acceptor.open(where.protocol(), ec);
#ifndef _WIN32
  // The connections of a run just stopped linger a while on its port: the
  // same file started again gets it all the same. (On Windows the option
  // would let another program share a port already served.)
  if (!ec && port != 0) acceptor.set_option(asio::socket_base::reuse_address(true), ec);
#endif
  if (!ec) acceptor.bind(where, ec);
  if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
  if (ec) {
    beast::error_code ignored;
    acceptor.close(ignored);
  }
  return ec;
}

}  // namespace

int RunUi(const UiOptions& options, SetupContext& ctx, LiveSource& live) {
  SettingsApi api(ctx.ops, options.path, std::string(ctx.exampleText));
  if (std::string problem = api.Open(); !problem.empty()) {
    ctx.err << "zq-setup: " << problem << '\n';
    return kNotDoneStatus;
  }
  std::string token = NewToken();
  std::string session = NewToken();
  if (token.empty() || session.empty()) {
    ctx.err << "zq-setup: the system's random source gave no token; the page is not served\n";
    return kNotDoneStatus;
  }
  asio::io_context io(1);
  tcp::acceptor acceptor(io);
  beast::error_code ec;
  if (options.filePort) {
    // Taken (by another zq-setup, or anything else): a free one will do,
    // only the page's edits kept from an earlier run are then not offered.
    ec = Listen(acceptor, FilePort(options.path));
    if (ec) ec = Listen(acceptor, 0);
  } else {
    ec = Listen(acceptor, options.port);
  }
  if (ec) {
    ctx.err << "zq-setup: cannot serve on 127.0.0.1:" << options.port << ": " << ec.message()
            << (options.port != 0
                    ? " (another program may use that port; --port 0 picks a free one)"
                    : "")
            << '\n';
    return kNotDoneStatus;
  }
  unsigned short port = acceptor.local_endpoint().port();
  PreviewApi preview(api);
  // Without the panel's drawing (no font) the page draws the labels itself
  // and says why.
  std::string noPicture;
  std::unique_ptr<PanelPicture> picture = MakePanelPicture(noPicture);
  preview.UsePicture(std::move(picture), noPicture);
  PanelControl panel;
  ApplyApi apply(preview, api, panel);
  SticksApi sticks(api, live, apply);
  Server server(io, acceptor, live, preview, sticks, options.idleSeconds);
  ProfilesApi profiles(ctx.ops, api, live, server);
  profiles.Open();
  RequestHandler handler(token, session, port, profiles);
  server.SetHandler(handler);
  asio::signal_set signals(io, SIGINT, SIGTERM);
  signals.async_wait([&server](beast::error_code e, int) {
    if (!e) server.Stop();
  });
  server.Accept();
  std::string address = handler.FirstAddress();
  ctx.out << "zq-setup: editing '" << options.path << "' at " << address << '\n'
          << "Press Ctrl+C to stop; it also stops " << options.idleSeconds
          << " s after the last page is closed.\n";
  ctx.out.flush();
  // The browser gets a page in the player's own folder that posts the token:
  // an address with the token would show in every process list.
  TokenPageFile page;
  if (options.openBrowser) {
    handler.OnExchange([&page] { page.Remove(); });
    if (std::string problem = page.Write(handler.TokenPage(), port); !problem.empty()) {
      ctx.err << "zq-setup: " << problem << '\n' << kNoBrowser;
    } else if (!(options.openPage ? options.openPage(page.Location())
                                  : OpenInBrowser(page.Location()))) {
      page.Remove();
      ctx.err << kNoBrowser;
    }
  }
  io.run();
  return 0;
}

}  // namespace zq::setup::ui
