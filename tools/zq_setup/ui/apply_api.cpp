#include "zq_setup/ui/apply_api.h"

#include <nlohmann/json.hpp>

namespace zq::setup::ui {

namespace {

using nlohmann::json;

std::string Dump(const json& j) {
  return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

void Refuse(Response& res, const std::string& why) {
  res.result(http::status::conflict);
  res.body() = Dump(json{{"error", why}});
}

std::string Process(long pid) {
  return pid > 0 ? "process " + std::to_string(pid) : std::string("process unknown");
}

}  // namespace

void ApplyApi::Status(Response& res) {
  const std::string opened = panel_.SetupFile(settings_.Path());
  const std::string executable = panel_.Executable();
  RunningPanel running = panel_.Find();
  std::string text;
  if (!running.running) {
    text = "The panel is not running.";
  } else if (running.setupFile.empty()) {
    text = "A panel runs (" + Process(running.pid) + "); it does not say which file it reads.";
  } else {
    text = "The panel runs (" + Process(running.pid) + ") and reads " + running.setupFile + ".";
    if (running.setupFile != opened) text += " That is not the file open here.";
  }
  if (executable.empty())
    text += " zq-thrust is not beside zq-setup: it cannot be started from here.";
  res.body() = Dump(json{{"running", running.running},
                         {"pid", running.pid},
                         {"setupFile", running.setupFile},
                         {"readsOpened", running.running && running.setupFile == opened},
                         {"opened", opened},
                         {"executable", executable},
                         {"text", text}});
}

void ApplyApi::Start(bool restart, Response& res) {
  const std::string executable = panel_.Executable();
  if (executable.empty()) {
    return Refuse(res,
                  "zq-thrust was not found beside zq-setup: the panel cannot be started from "
                  "here.");
  }
  if (!settings_.Exists()) {
    return Refuse(res,
                  "The file is not saved yet: save it first, the panel reads it when it "
                  "starts.");
  }
  const std::string file = panel_.SetupFile(settings_.Path());
  std::string before;
  if (restart) {
    switch (panel_.Close(kCloseWaitMs)) {
      case PanelClose::none:
        before = "No panel was running. ";
        break;
      case PanelClose::closed:
        before = "The running panel was closed. ";
        break;
      case PanelClose::stillRunning:
        return Refuse(res, "The running panel was asked to close but has not ended within " +
                               std::to_string(kCloseWaitMs / 1000) +
                               " s: it is left as it is, and no other was started.");
      case PanelClose::refused:
        return Refuse(res,
                      "The running panel takes no request to close (an older zq-thrust?): close "
                      "it yourself, then start the panel from here.");
    }
  } else if (RunningPanel running = panel_.Find(); running.running) {
    return Refuse(res, "A panel already runs (" + Process(running.pid) +
                           (running.setupFile.empty() ? "" : ", reading " + running.setupFile) +
                           "): \"Save and restart the panel\" closes it and starts it on this "
                           "file.");
  }
  PanelStart started = panel_.Start(executable, file);
  if (!started.started) return Refuse(res, before + "The panel did not start: " + started.problem);
  res.body() = Dump(json{
      {"started", true},
      {"pid", started.pid},
      {"setupFile", file},
      {"message", before + "The panel started on " + file + " (" + Process(started.pid) + ")."}});
}

bool ApplyApi::Answer(const Request& req, std::string_view path, std::string_view query,
                      Response& res) {
  const bool get = req.method() == http::verb::get;
  if (get && path == "/api/panel") {
    Status(res);
  } else if (!get && path == "/api/panel/start") {
    Start(false, res);
  } else if (!get && path == "/api/panel/restart") {
    Start(true, res);
  } else {
    return next_.Answer(req, path, query, res);
  }
  return true;
}

}  // namespace zq::setup::ui
