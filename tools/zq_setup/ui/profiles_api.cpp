#include "zq_setup/ui/profiles_api.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <vector>

#include "config/settings_snapshot.h"
#include "input/stick_match.h"
#include "zq_check/check_model.h"
#include "zq_setup/ui/ui_server.h"

namespace zq::setup::ui {

namespace {

using nlohmann::json;

constexpr size_t kMaxNameBytes = 64;
constexpr size_t kMaxEntries = 256;  // a folder of profiles, not a whole disk
// A profile is read whole for its sticks; a larger file is listed unread.
constexpr uint64_t kListReadLimit = 1u << 20;
constexpr std::string_view kSubProfile = "Setup.ini";

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool EndsWithIni(std::string_view name) {
  return name.size() > 4 && Lower(name.substr(name.size() - 4)) == ".ini";
}

std::string Dump(const json& j) {
  return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

void Fail(Response& res, http::status status, const std::string& error) {
  res.result(status);
  res.body() = Dump(json{{"error", error}});
}

// The text of a string member, or nullopt.
std::optional<std::string> Text(const json& body, const char* key) {
  if (!body.is_object() || !body.contains(key) || !body[key].is_string()) return std::nullopt;
  return body[key].get<std::string>();
}

// The profile's folder again, then the file's name in it: how the editor
// finds a profile, never through its path.
SettingsEditor::Locator LocatorFor(std::shared_ptr<SettingsFolder> root, std::string sub,
                                   std::string name) {
  return [root = std::move(root), sub = std::move(sub), name = std::move(name)](
             std::unique_ptr<SettingsFolder>& folder, std::string& out) {
    FileOutcome o = root->OpenSub(sub.empty() ? "." : sub, folder);
    if (o.ok()) out = name;
    return o;
  };
}

// The sticks a profile reads: the ids its bindings use, each with its
// [sticks] pin if it has one, and whether that stick is connected now.
json SticksOf(const std::string& path, const std::string& bytes,
              const std::vector<LiveStick>& live) {
  check::CheckResult r = check::CheckSettingsText(path, bytes);
  SettingsFileText file;
  file.state = SettingsFileState::read;
  file.text = bytes;
  file.size = bytes.size();
  SettingsSnapshot settings(path, std::move(file));
  StickPins pins;
  LoadStickPins(settings, pins);
  std::vector<PresentStick> present;
  for (const LiveStick& s : live) present.push_back({s.id, s.pin});
  StickMap map;
  MatchSticks(pins, present, map);
  json sticks = json::array();
  for (int id = 0; id < kJoystickCount; ++id) {
    if (!r.settings.joyUsed.Contains(id)) continue;
    const size_t i = static_cast<size_t>(id);
    const int slot = map.slot[i];
    const bool here =
        slot >= 0 && std::any_of(present.begin(), present.end(),
                                 [slot](const PresentStick& p) { return p.slot == slot; });
    json stick{{"id", id}, {"present", here}};
    if (pins.pinned[i]) {
      stick["pin"] =
          VidPidText(pins.device[i]) + " \"" + std::string(pins.device[i].name.View()) + "\"";
    }
    for (const LiveStick& s : live) {
      if (here && s.id == slot) stick["name"] = s.name;
    }
    sticks.push_back(stick);
  }
  return json{{"sticks", sticks}, {"status", r.ExitStatus()}};
}

}  // namespace

std::string ProfileNameProblem(std::string_view name) {
  if (name.empty()) return "a name is needed";
  if (name.size() > kMaxNameBytes) {
    return "a name has at most " + std::to_string(kMaxNameBytes) + " bytes";
  }
  if (name == "." || name == ".." || name.find("..") != std::string_view::npos) {
    return "a name may not hold \"..\"";
  }
  if (name.front() == '.') return "a name may not start with a dot";
  if (name.back() == '.' || name.back() == ' ') {
    return "a name may not end with a dot or a blank";
  }
  for (char c : name) {
    auto u = static_cast<unsigned char>(c);
    if (u < 32 || u == 127) return "a name may not hold control characters";
    if (std::string_view("/\\<>:\"|?*").find(c) != std::string_view::npos) {
      return std::string("a name may not hold '") + c + "'";
    }
  }
  // Windows' device names, with or without an ending, are no file there.
  std::string stem = Lower(name.substr(0, name.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  static const char* const kDevices[] = {"con", "prn", "aux", "nul"};
  bool device = std::find(std::begin(kDevices), std::end(kDevices), stem) != std::end(kDevices);
  if (stem.size() == 4 && (stem.rfind("com", 0) == 0 || stem.rfind("lpt", 0) == 0) &&
      stem[3] >= '0' && stem[3] <= '9')
    device = true;
  if (device) return "'" + std::string(name) + "' names a device on Windows";
  return "";
}

void ProfilesApi::Open() {
  firstPath_ = settings_.Path();
  size_t slash = firstPath_.find_last_of("/\\");
  rootPath_ = slash == std::string::npos ? "" : firstPath_.substr(0, slash + 1);
  std::unique_ptr<SettingsFolder> folder;
  std::string name;
  FileOutcome o = ops_.OpenFolder(firstPath_, folder, name);
  if (!o.ok()) {
    rootProblem_ = "the folder of '" + firstPath_ + "' cannot be listed: " + o.detail;
    return;
  }
  root_ = std::move(folder);
  firstId_ = current_ = name;
}

std::string ProfilesApi::PathOf(const std::string& id) const {
  return id == firstId_ ? firstPath_ : rootPath_ + id;
}

std::string ProfilesApi::Find(const std::string& id, Where& where) const {
  if (!root_) return rootProblem_;
  size_t slash = id.find('/');
  std::string sub = slash == std::string::npos ? "" : id.substr(0, slash);
  std::string name = slash == std::string::npos ? id : id.substr(slash + 1);
  if (std::string problem = ProfileNameProblem(sub.empty() ? name : sub); !problem.empty()) {
    return "'" + id + "' is not a profile here: " + problem;
  }
  if (sub.empty() ? !EndsWithIni(name) : name != kSubProfile) {
    return "'" + id + "' is not a profile here: profiles are the .ini files of the folder and " +
           "the Setup.ini of its folders";
  }
  FileOutcome o = root_->OpenSub(sub.empty() ? "." : sub, where.folder);
  FileInfo info;
  if (o.ok()) o = where.folder->Look(name, info);
  if (o.fault == FileFault::missing) return "there is no profile '" + id + "'";
  if (o.fault == FileFault::notRegular) return "'" + id + "' is " + o.detail + ", not a profile";
  if (!o.ok()) return "'" + id + "' cannot be reached: " + o.detail;
  where.name = name;
  where.sub = sub;
  return "";
}

void ProfilesApi::List(Response& res) {
  json out{{"folder", rootPath_.empty() ? std::string(".") : rootPath_},
           {"open", current_},
           {"path", settings_.Path()}};
  json profiles = json::array();
  if (!root_) {
    out["problem"] = rootProblem_;
  } else {
    std::vector<FolderEntry> entries;
    if (FileOutcome o = root_->List(entries, kMaxEntries); !o.ok()) {
      out["problem"] = "the folder cannot be listed: " + o.detail;
    }
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    const std::vector<LiveStick> live = live_.Sticks();
    for (const FolderEntry& e : entries) {
      if (!ProfileNameProblem(e.name).empty()) continue;  // hidden files and odd names
      if (!e.folder && !EndsWithIni(e.name)) continue;
      const std::string id = e.folder ? e.name + "/" + std::string(kSubProfile) : e.name;
      std::unique_ptr<SettingsFolder> folder;
      FileOutcome o = root_->OpenSub(e.folder ? e.name : ".", folder);
      std::string bytes;
      FileInfo info;
      if (o.ok())
        o = folder->Read(e.folder ? std::string(kSubProfile) : e.name, kListReadLimit, bytes, info);
      if (e.folder && !o.ok()) continue;  // a folder without a profile in it
      json p{{"file", id},
             {"name", e.folder ? e.name : e.name.substr(0, e.name.size() - 4)},
             {"folder", e.folder},
             {"open", id == current_},
             {"changed", o.ok() ? info.changed : e.info.changed}};
      if (o.ok()) {
        p.update(SticksOf(PathOf(id), bytes, live));
      } else {
        p["unreadable"] =
            o.fault == FileFault::tooLarge ? "too large to be a settings file" : o.detail;
      }
      profiles.push_back(p);
    }
  }
  out["profiles"] = profiles;
  out["sticksRead"] = !live_.Sticks().empty();
  res.body() = Dump(out);
}

void ProfilesApi::OpenProfile(const std::string& id, Response& res) {
  Where where;
  if (std::string problem = Find(id, where); !problem.empty()) {
    Fail(res, http::status::not_found, problem);
    return;
  }
  std::string problem =
      id == firstId_ ? settings_.Switch(firstPath_, nullptr)
                     : settings_.Switch(PathOf(id), LocatorFor(root_, where.sub, where.name));
  if (!problem.empty()) {
    // found but not read after all: the page shows that file with its problem
    if (settings_.Path() == PathOf(id)) current_ = id;
    Fail(res, http::status::conflict, problem);
    return;
  }
  current_ = id;
  res.body() = Dump(json{{"opened", id}, {"path", settings_.Path()}});
}

void ProfilesApi::Switch(const std::string& bodyText, Response& res) {
  json body = json::parse(bodyText, nullptr, false);
  std::optional<std::string> id = Text(body, "file");
  if (!id) return Fail(res, http::status::bad_request, "file: the profile to open");
  OpenProfile(*id, res);
}

void ProfilesApi::New(const std::string& bodyText, Response& res) {
  json body = json::parse(bodyText, nullptr, false);
  std::optional<std::string> name = Text(body, "name");
  if (!name) return Fail(res, http::status::bad_request, "name: the new profile's name");
  if (body.contains("folder") && !body["folder"].is_boolean()) {
    return Fail(res, http::status::bad_request, "folder: true or false");
  }
  if (!root_) return Fail(res, http::status::conflict, rootProblem_);
  const bool inFolder = body.value("folder", false);
  std::string leaf = inFolder || EndsWithIni(*name) ? *name : *name + ".ini";
  if (std::string problem = ProfileNameProblem(leaf); !problem.empty()) {
    return Fail(res, http::status::unprocessable_entity, "not saved: " + problem);
  }
  FileInfo info;
  if (root_->Look(leaf, info).fault != FileFault::missing) {
    return Fail(res, http::status::conflict,
                "not saved: '" + leaf + "' already exists; choose another name");
  }
  std::string problem;
  std::optional<std::string> bytes = settings_.EditedBytes(bodyText, problem);
  if (!problem.empty()) return Fail(res, http::status::unprocessable_entity, problem);
  std::string text = bytes ? *bytes : settings_.Editor().Document().Bytes();

  std::unique_ptr<SettingsFolder> folder;
  FileOutcome o;
  if (inFolder) {
    o = root_->MakeFolder(leaf);
    if (o.ok()) o = root_->OpenSub(leaf, folder);
  } else {
    o = root_->OpenSub(".", folder);
  }
  const std::string file = inFolder ? std::string(kSubProfile) : leaf;
  std::string temp;
  if (o.ok()) o = folder->WriteTemp(file, text, temp);
  // the new name only once the whole text is on disk, and never over a file
  if (o.ok()) o = folder->RenameNew(temp, file);
  if (!o.ok()) {
    if (!temp.empty() && folder) folder->Remove(temp);
    return Fail(res, http::status::conflict, "not saved: '" + leaf + "': " + o.detail);
  }
  const std::string id = inFolder ? leaf + "/" + std::string(kSubProfile) : leaf;
  OpenProfile(id, res);
  if (res.result() == http::status::ok) {
    res.body() = Dump(json{
        {"created", id},
        {"opened", id},
        {"path", settings_.Path()},
        {"message", "Saved as the new profile " + PathOf(id) + ", which is the one edited now."}});
  }
}

void ProfilesApi::Rename(const std::string& bodyText, Response& res) {
  json body = json::parse(bodyText, nullptr, false);
  std::optional<std::string> id = Text(body, "file");
  std::optional<std::string> to = Text(body, "to");
  if (!id || !to)
    return Fail(res, http::status::bad_request, "file and to: the profile and its new name");
  Where where;
  if (std::string problem = Find(*id, where); !problem.empty()) {
    return Fail(res, http::status::not_found, problem);
  }
  const bool inFolder = !where.sub.empty();
  std::string leaf = inFolder || EndsWithIni(*to) ? *to : *to + ".ini";
  if (std::string problem = ProfileNameProblem(leaf); !problem.empty()) {
    return Fail(res, http::status::unprocessable_entity, "not renamed: " + problem);
  }
  const std::string from = inFolder ? where.sub : where.name;
  FileInfo info;
  if (root_->Look(leaf, info).fault != FileFault::missing) {
    return Fail(res, http::status::conflict,
                "not renamed: '" + leaf + "' already exists; choose another name");
  }
  if (FileOutcome o = root_->RenameNew(from, leaf); !o.ok()) {
    return Fail(res, http::status::conflict, "not renamed: '" + leaf + "': " + o.detail);
  }
  const std::string now = inFolder ? leaf + "/" + std::string(kSubProfile) : leaf;
  const bool wasOpen = *id == current_;
  if (*id == firstId_) firstId_.clear();
  json out{
      {"renamed", *id}, {"to", now}, {"message", PathOf(*id) + " is now " + PathOf(now) + "."}};
  if (wasOpen) {
    OpenProfile(now, res);
    if (res.result() != http::status::ok) return;
    out["opened"] = now;
    out["path"] = settings_.Path();
  }
  res.body() = Dump(out);
}

void ProfilesApi::Delete(const std::string& bodyText, Response& res) {
  json body = json::parse(bodyText, nullptr, false);
  std::optional<std::string> id = Text(body, "file");
  if (!id) return Fail(res, http::status::bad_request, "file: the profile to delete");
  Where where;
  if (std::string problem = Find(*id, where); !problem.empty()) {
    return Fail(res, http::status::not_found, problem);
  }
  if (*id == current_) {
    return Fail(res, http::status::conflict,
                "not deleted: '" + *id + "' is the profile edited here; open another first");
  }
  // Kept as its backup: the profile is never gone for good at one click.
  const std::string backup = where.name + ".bak";
  if (FileOutcome o = where.folder->Replace(where.name, backup); !o.ok()) {
    return Fail(res, http::status::conflict, "not deleted: '" + *id + "': " + o.detail);
  }
  res.body() = Dump(json{
      {"deleted", *id},
      {"message", PathOf(*id) + " was deleted; its text is kept in " + PathOf(*id) + ".bak."}});
}

bool ProfilesApi::Answer(const Request& req, std::string_view path, std::string_view query,
                         Response& res) {
  if (path.substr(0, 13) != "/api/profiles") return next_.Answer(req, path, query, res);
  const bool get = req.method() == http::verb::get;
  if (get && path == "/api/profiles") {
    List(res);
  } else if (!get && path == "/api/profiles/open") {
    Switch(req.body(), res);
  } else if (!get && path == "/api/profiles/new") {
    New(req.body(), res);
  } else if (!get && path == "/api/profiles/rename") {
    Rename(req.body(), res);
  } else if (!get && path == "/api/profiles/delete") {
    Delete(req.body(), res);
  } else {
    return false;
  }
  return true;
}

}  // namespace zq::setup::ui
