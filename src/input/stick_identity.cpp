#include "input/stick_identity.h"

#include <charconv>

namespace zq {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool Hex4(std::string_view s, uint16_t& out) {
  if (s.size() != 4) return false;
  unsigned v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + 4, v, 16);
  if (ec != std::errc() || end != s.data() + 4) return false;
  out = static_cast<uint16_t>(v);
  return true;
}

// A word shown back to the player, short and printable.
std::string Shown(std::string_view w) {
  std::string s;
  for (char c : w.substr(0, 40)) {
    unsigned char u = static_cast<unsigned char>(c);
    s += (u < 32 || u == 127) ? '?' : c;
  }
  if (w.size() > 40) s += "...";
  return s;
}

bool Writable(std::string_view value) {
  for (char c : value) {
    if (IsBlank(c) || c == '"' || static_cast<unsigned char>(c) < 32) return false;
  }
  return !value.empty();
}

const char* HexDigits = "0123456789abcdef";

void AppendHex4(std::string& out, uint16_t v) {
  for (int shift = 12; shift >= 0; shift -= 4) out += HexDigits[(v >> shift) & 15];
}

}  // namespace

std::optional<std::string> ParseStickPin(std::string_view text, StickIdentity& out) {
  out = StickIdentity{};
  text = Trim(text);
  size_t cut = 0;
  while (cut < text.size() && !IsBlank(text[cut]) && text[cut] != '"') ++cut;
  std::string_view ids = text.substr(0, cut);
  size_t colon = ids.find(':');
  if (colon == std::string_view::npos || !Hex4(ids.substr(0, colon), out.vendor) ||
      !Hex4(ids.substr(colon + 1), out.product)) {
    if (ids.empty()) return std::string("no device: a pin starts with VID:PID, like 044f:b10a");
    return "'" + Shown(ids) + "' is not VID:PID (four hex digits, a colon, four hex digits)";
  }
  if (!out.HasIds()) return std::string("0000:0000 names no device");
  std::string_view rest = Trim(text.substr(cut));
  if (!rest.empty() && rest.front() == '"') {
    size_t close = rest.rfind('"');
    if (close == 0) return std::string("the device's name has no closing quote");
    out.name.Append(rest.substr(1, close - 1));
    rest = rest.substr(close + 1);
    if (!rest.empty() && !IsBlank(rest.front())) {
      return "'" + Shown(Trim(rest)) + "' follows the name without a blank";
    }
  }
  while (!(rest = Trim(rest)).empty()) {
    size_t end = 0;
    while (end < rest.size() && !IsBlank(rest[end])) ++end;
    std::string_view word = rest.substr(0, end);
    rest.remove_prefix(end);
    size_t eq = word.find('=');
    std::string key;
    for (char c : word.substr(0, eq)) key += Lower(c);
    StickText* field = key == "serial" ? &out.serial
                       : key == "path" ? &out.path
                       : key == "guid" ? &out.guid
                                       : nullptr;
    if (eq == std::string_view::npos || field == nullptr) {
      if (!word.empty() && word.front() == '"') {
        return std::string("the device's name comes right after VID:PID");
      }
      if (eq == std::string_view::npos && out.name.Empty() && out.serial.Empty() &&
          out.path.Empty() && out.guid.Empty()) {
        return "'" + Shown(word) + "' is not in double quotes: the name is written \"like this\"";
      }
      return "'" + Shown(word) + "' is none of serial=, path= and guid=";
    }
    std::string_view value = word.substr(eq + 1);
    if (value.empty()) return key + "= has no value";
    if (!field->Empty()) return key + "= is given twice";
    field->Append(value);
  }
  return std::nullopt;
}

std::string VidPidText(const StickIdentity& device) {
  std::string s;
  AppendHex4(s, device.vendor);
  s += ':';
  AppendHex4(s, device.product);
  return s;
}

std::string FormatStickPin(const StickIdentity& device) {
  std::string line = VidPidText(device);
  line += " \"";
  line += device.name.View();
  line += '"';
  const std::pair<const char*, const StickText*> fields[] = {
      {"serial", &device.serial}, {"path", &device.path}, {"guid", &device.guid}};
  for (const auto& [key, value] : fields) {
    if (!Writable(value->View())) continue;
    line.append(" ").append(key).append("=").append(value->View());
  }
  return line;
}

std::string PinLineFor(const StickIdentity& device) {
  StickIdentity pin = device;
  if (Writable(device.serial.View())) pin.path.Clear();
  return FormatStickPin(pin);
}

}  // namespace zq
