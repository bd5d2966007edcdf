#include "zq_setup/ui/ui_server.h"

#include "control/tick_length.h"

#include <utility>  // GCC 12 in C++20 needs it before Asio

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <memory>
#include <optional>
#include <set>
#include <sstream>

#include "zq_setup/ui/preview_api.h"
#include "zq_setup/ui/ui_api.h"
#include "zq_setup/ui/ui_http.h"

namespace zq::setup::ui {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
using tcp = asio::ip::tcp;
using namespace std::chrono_literals;

constexpr auto kReadTimeout = 10s;  // a slow client loses its connection, not the server
constexpr auto kLivePeriod = std::chrono::milliseconds(zq::kTickMs);  // the panel's tick
constexpr unsigned kMaxHeaderBytes = 8 * 1024;

class Server;

class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(tcp::socket socket, Server& server) : stream_(std::move(socket)), server_(server) {}
  void Start() { Read(); }
  void SendLive(const std::string& event);
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
};

class Server {
 public:
  Server(asio::io_context& io, tcp::acceptor& acceptor, const RequestHandler& handler,
         LiveSource& live, PreviewApi& preview, int idleSeconds)
      : io_(io),
        preview_(preview),
        acceptor_(acceptor),
        handler_(handler),
        live_(live),
        ticker_(io),
        idle_(io),
        idleSeconds_(idleSeconds) {}

  void Accept() {
    acceptor_.async_accept([this](beast::error_code ec, tcp::socket socket) {
      if (!acceptor_.is_open()) return;
      if (!ec) std::make_shared<Session>(std::move(socket), *this)->Start();
      Accept();
    });
  }
  const RequestHandler& Handler() const { return handler_; }

  void AddLive(const std::shared_ptr<Session>& s) {
    bool first = live_sessions_.empty();
    live_sessions_.insert(s);
    idle_.cancel();
    if (first) Tick();
  }
  void RemoveLive(const std::shared_ptr<Session>& s) {
    if (live_sessions_.erase(s) == 0 || !live_sessions_.empty()) return;
    ticker_.cancel();
    idle_.expires_after(std::chrono::seconds(idleSeconds_));
    idle_.async_wait([this](beast::error_code ec) {
      if (!ec && live_sessions_.empty()) Stop();
    });
  }
  void Stop() {
    beast::error_code ec;
    acceptor_.close(ec);
    ticker_.cancel();
    idle_.cancel();
    for (const auto& s : live_sessions_) s->Close();
    io_.stop();
  }

 private:
  // One reading of the devices for every open page, on the panel's period.
  void Tick() {
    if (live_sessions_.empty()) return;
    std::string event = "data: " + live_.Snapshot() + "\n\n";
    std::set<std::shared_ptr<Session>> now = live_sessions_;
    for (const auto& s : now) s->SendLive(event);
    preview_.Tick(live_);
    ticker_.expires_after(kLivePeriod);
    ticker_.async_wait([this](beast::error_code ec) {
      if (!ec) Tick();
    });
  }

  asio::io_context& io_;
  PreviewApi& preview_;
  tcp::acceptor& acceptor_;
  const RequestHandler& handler_;
  LiveSource& live_;
  asio::steady_timer ticker_;
  asio::steady_timer idle_;
  int idleSeconds_;
  std::set<std::shared_ptr<Session>> live_sessions_;
};

void Session::Read() {
  parser_.emplace();
  parser_->header_limit(kMaxHeaderBytes);
  parser_->body_limit(kMaxBodyBytes);
  stream_.expires_after(kReadTimeout);
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
    Reply reply = server_.Handler().Handle(parser_->get());
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
                      } else if (!self->liveOut_.empty()) {
                        self->SendLive("");
                      }
                    });
}

}  // namespace

int RunUi(const UiOptions& options, SetupContext& ctx, LiveSource& live) {
  SettingsApi api(ctx.ops, options.path, std::string(ctx.exampleText));
  if (std::string problem = api.Open(); !problem.empty()) {
    ctx.err << "zq-setup: " << problem << '\n';
    return kNotDoneStatus;
  }
  std::string token = NewToken();
  if (token.empty()) {
    ctx.err << "zq-setup: the system's random source gave no token; the page is not served\n";
    return kNotDoneStatus;
  }
  asio::io_context io(1);
  tcp::acceptor acceptor(io);
  beast::error_code ec;
  tcp::endpoint where(asio::ip::make_address_v4("127.0.0.1"), options.port);
  acceptor.open(where.protocol(), ec);
  if (!ec) acceptor.bind(where, ec);
  if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
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
  RequestHandler handler(token, port, preview);
  Server server(io, acceptor, handler, live, preview, options.idleSeconds);
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
  if (options.openBrowser && !OpenInBrowser(address)) ctx.err << kNoBrowser;
  io.run();
  return 0;
}

}  // namespace zq::setup::ui
