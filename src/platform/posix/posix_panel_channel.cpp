#include "platform/posix/posix_panel_channel.h"

#include <cstddef>
#include <cstring>

#include "app/form_design.h"

namespace zq {

std::string InstanceNameFor(uid_t uid, const char* display) {
  std::string name = std::string(kInstanceName) + "/" + std::to_string(uid);
  if (display == nullptr || *display == '\0') return name;
  std::string_view d = display;
  size_t colon = d.rfind(':');
  std::string_view host = colon == std::string_view::npos ? std::string_view() : d.substr(0, colon);
  std::string_view number = colon == std::string_view::npos ? d : d.substr(colon + 1);
  if (host == "unix") host = {};
  size_t dot = number.find('.');
  if (dot != std::string_view::npos) number = number.substr(0, dot);
  name += "/" + std::string(host) + ":" + std::string(number);
  // room for "#8" in sun_path
  constexpr size_t kMax = sizeof(sockaddr_un{}.sun_path) - 4;
  if (name.size() > kMax) name.resize(kMax);
  return name;
}

std::string InstanceNameAt(std::string_view name, int k) {
  std::string n(name);
  if (k > 1) n += "#" + std::to_string(k);
  return n;
}

socklen_t InstanceAddress(const std::string& name, sockaddr_un& addr) {
  addr = sockaddr_un{};
  addr.sun_family = AF_UNIX;
  // sun_path[0] stays '\0': the abstract namespace, no file on disk.
  size_t n = name.size() < sizeof addr.sun_path - 1 ? name.size() : sizeof addr.sun_path - 1;
  std::memcpy(addr.sun_path + 1, name.data(), n);
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
}

}  // namespace zq
