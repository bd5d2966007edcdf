#include "zq_setup/ui/preview_api.h"

#include "zq_setup/ui/ui_server.h"

namespace zq::setup::ui {

using nlohmann::json;

void PreviewApi::Edit(const std::string& body, Response& res) {
  std::string problem;
  std::optional<std::string> bytes = settings_.EditedBytes(body, problem);
  preview_.Load(settings_.Path(), std::move(bytes));
  started_ = true;
  json out{{"restart",
            "The preview starts fresh on these settings at its next tick, as the "
            "panel would after a restart."}};
  if (!problem.empty()) out["editError"] = problem;
  res.body() = out.dump(-1, ' ', false, json::error_handler_t::replace);
}

void PreviewApi::Tick(const DeviceFrame& devices) {
  if (!started_) {
    std::string problem;
    preview_.Load(settings_.Path(), settings_.EditedBytes("{}", problem));
    started_ = true;
  }
  preview_.Tick(devices);
}

std::string PreviewApi::ChainEvent() const {
  nlohmann::json chain = preview_.Chain();
  return chain.is_null() ? "" : chain.dump(-1, ' ', false, json::error_handler_t::replace);
}

void PreviewApi::Tick(LiveSource& live) {
  Tick(live.Frame());
}

bool PreviewApi::Answer(const Request& req, std::string_view path, std::string_view query,
                        Response& res) {
  bool get = req.method() == http::verb::get;
  if (!get && path == "/api/preview") {
    Edit(req.body(), res);
  } else if (get && path == "/api/preview") {
    res.body() = preview_.Model().dump(-1, ' ', false, json::error_handler_t::replace);
  } else if (get && path == "/api/preview/events") {
    res.set(http::field::content_type, "application/x-ndjson");
    res.body() = preview_.TakeEvents();
  } else if (!get && path == "/api/preview/record") {
    preview_.StartRecording();
    res.body() = preview_.Model()["recording"].dump();
  } else if (get && path == "/api/preview/recording") {
    if (preview_.Recording().empty()) {
      res.result(http::status::not_found);
      res.body() = json{{"error", "no recording yet"}}.dump();
    } else {
      res.set(http::field::content_type, "text/plain; charset=utf-8");
      res.set(http::field::content_disposition, "attachment; filename=\"recording.script\"");
      res.body() = preview_.Recording();
    }
  } else {
    return settings_.Answer(req, path, query, res);
  }
  return true;
}

}  // namespace zq::setup::ui
