// Opening the first address in the player's default browser.
#include "zq_setup/ui/ui_server.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#ifdef _WIN32
#include <windows.h>
// after windows.h
#include <shellapi.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <thread>
extern char** environ;
#endif

namespace zq::setup::ui {

const char* const kNoBrowser = "zq-setup: no browser could be opened: open the address above\n";

bool OpenInBrowser(const std::string& address) {
#ifdef _WIN32
  std::wstring wide(address.begin(), address.end());  // the address is ASCII
  auto r = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  return r > 32;
#else
  // xdg-open's own chatter stays off the terminal that shows the address.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::string program = "xdg-open";
  char* argv[] = {program.data(), const_cast<char*>(address.c_str()), nullptr};
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, "xdg-open", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  // xdg-open may run the browser itself and last as long as it does: the
  // page must be served meanwhile, so its end is awaited aside.
  std::thread([pid] {
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
      std::fputs(kNoBrowser, stderr);
  }).detach();
  return true;
#endif
}

namespace {

#ifndef _WIN32
// A folder that only this user can enter: ours, a folder, no access for others.
bool PrivateFolder(const char* dir) {
  struct stat st {};
  return dir != nullptr && dir[0] == '/' && lstat(dir, &st) == 0 && S_ISDIR(st.st_mode) &&
         st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}
#endif

}  // namespace

std::string TokenPageFile::Write(const std::string& html, unsigned short port) {
  Remove();
  const std::string name = "zq-setup-" + std::to_string(port) + ".html";
#ifdef _WIN32
  // The user's own temporary folder: other users have no access to it.
  std::error_code ec;
  std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
  if (ec) return "no temporary folder for the page that opens the configurator: " + ec.message();
  std::filesystem::path file = dir / name;
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << html;
  out.close();
  if (!out) {
    std::filesystem::remove(file, ec);
    return "cannot write the page that opens the configurator: " + file.string();
  }
  path_ = file.string();
  return "";
#else
  std::string dir;
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); PrivateFolder(runtime)) {
    dir = runtime;
  } else {
    std::error_code ec;
    std::string pattern = (std::filesystem::temp_directory_path(ec) / "zq-setup-XXXXXX").string();
    if (ec || mkdtemp(pattern.data()) == nullptr)
      return std::string("cannot make a folder for the page that opens the configurator: ") +
             std::strerror(errno);
    dir = madeFolder_ = pattern;
  }
  std::string file = dir + "/" + name;
  // A page left by a run that was killed: the folder is ours alone.
  if (madeFolder_.empty()) unlink(file.c_str());
  int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    std::string why = std::strerror(errno);
    Remove();
    return "cannot write the page that opens the configurator (" + file + "): " + why;
  }
  path_ = file;
  size_t done = 0;
  while (done < html.size()) {
    ssize_t n = write(fd, html.data() + done, html.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  bool ok = done == html.size() && close(fd) == 0;
  if (done != html.size()) close(fd);
  if (!ok) {
    std::string why = std::strerror(errno);
    Remove();
    return "cannot write the page that opens the configurator (" + file + "): " + why;
  }
  return "";
#endif
}

std::string TokenPageFile::Location() const {
  std::string url = "file://";
#ifdef _WIN32
  url += '/';
#endif
  static const char kHex[] = "0123456789ABCDEF";
  for (unsigned char c : path_) {
    if (c == '\\') c = '/';
    if (std::isalnum(c) || std::strchr("/-._~:", c) != nullptr) {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 15];
    }
  }
  return url;
}

void TokenPageFile::Remove() {
  std::error_code ec;
  if (!path_.empty()) std::filesystem::remove(path_, ec);
  if (!madeFolder_.empty()) std::filesystem::remove(madeFolder_, ec);
  path_.clear();
  madeFolder_.clear();
}

}  // namespace zq::setup::ui
