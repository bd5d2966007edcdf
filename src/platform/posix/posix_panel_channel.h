// The panel's instance name on Linux, and the few requests its holder takes
// on it: the guard (linux_instance) serves them, the configurator asks them
// (posix_panel_process). A request is one line; the answer is all the holder
// writes before it closes the connection.
#pragma once

#include <sys/socket.h>
#include <sys/types.h>
#include <sys/un.h>

#include <string>
#include <string_view>

namespace zq {

// "ZQ-test-joy/UID/DISPLAY": one name per user and X display, as the Windows
// mutex is one per login session. The display is taken without its screen
// (":0.1" is ":0") and "unix:0" is ":0"; no display gives "ZQ-test-joy/UID".
std::string InstanceNameFor(uid_t uid, const char* display);

// A name held by another user's process is passed over for NAME#2 ..
// NAME#8: the first of them held by this user is this user's panel.
constexpr int kInstanceNames = 8;
std::string InstanceNameAt(std::string_view name, int k);

// The abstract socket address of `name` (no file on disk); its length.
socklen_t InstanceAddress(const std::string& name, sockaddr_un& addr);

// "Which file do you read?": answered with the settings file's path.
constexpr std::string_view kAskSetupFile = "setup-file\n";
// "Close as your window's close would": answered with kClosing, then it closes.
constexpr std::string_view kAskClose = "close\n";
constexpr std::string_view kClosing = "closing\n";

}  // namespace zq
