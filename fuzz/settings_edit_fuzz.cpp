// The settings document under random edits of any bytes: a file unedited
// is kept byte for byte, and after every edit the reader reads the new
// value for the edited key, the old one for every other key, and the bytes
// outside the edited lines are the old ones.
//
// Input: one byte for the number of edits (1..4); per edit a kind byte, a
// pick byte, a length byte and that many bytes of value; the rest is the file.
#include <string>
#include <string_view>
#include <vector>

#include "config/settings_document.h"
#include "kit/fakes.h"
#include "settings_edit_check.h"

namespace {

struct Reader {
  const uint8_t* data;
  size_t size, pos = 0;
  uint8_t Byte() { return pos < size ? data[pos++] : 0; }
  std::string Take(size_t n) {
    n = std::min(n, size - pos);
    std::string s(reinterpret_cast<const char*>(data + pos), n);
    pos += n;
    return s;
  }
};

zq::testkit::EditRequest Request(const zq::ProfileText& p, uint8_t kind, uint8_t pick,
                                 std::string value) {
  zq::testkit::EditRequest q{"main", "K" + std::to_string(pick % 8), std::move(value), false};
  std::vector<std::pair<std::string, std::string>> known;
  for (size_t i = 1; i < p.Sections().size(); ++i) {
    for (const zq::ProfileText::Entry& e : p.Sections()[i].entries)
      known.emplace_back(p.Sections()[i].name, e.name);
  }
  switch (kind % 8) {
    case 0:
    case 1:
    case 2:
    case 6:  // a key the file has, maybe in other letter case
      if (!known.empty()) q.section = known[pick % known.size()].first;
      if (!known.empty()) q.key = known[pick % known.size()].second;
      if (kind & 0x10) {
        for (char& c : q.key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      }
      q.unset = kind % 8 == 6;
      break;
    case 3:
      break;  // a new key in [main]
    case 4:   // a new key in a section the file has
      if (p.Sections().size() > 1)
        q.section = p.Sections()[1 + pick % (p.Sections().size() - 1)].name;
      break;
    case 5:
      q.section = "S" + std::to_string(pick % 4);
      break;
    case 7:  // the fuzzer's own key name
      q.key = q.value;
      q.value = "1";
      q.unset = (kind & 0x20) != 0;
      break;
  }
  return q;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader in{data, size};
  struct Edit {
    uint8_t kind, pick;
    std::string value;
  };
  std::vector<Edit> edits(1 + in.Byte() % 4);
  for (Edit& e : edits) {
    e.kind = in.Byte();
    e.pick = in.Byte();
    e.value = in.Take(in.Byte() % 64);
  }
  std::string file = in.Take(size);
  zq::SettingsDocument doc(file);
  ZQ_KIT_CHECK(doc.Bytes() == file);
  for (int line = 1; line <= static_cast<int>(doc.LineCount()); ++line) (void)doc.LineText(line);
  for (Edit& e : edits) {
    zq::testkit::EditRequest q = Request(doc.Profile(), e.kind, e.pick, e.value);
    const std::string before = doc.Bytes();
    zq::EditResult r = q.unset ? doc.Unset(q.section, q.key) : doc.Set(q.section, q.key, q.value);
    std::string broken = zq::testkit::CheckEdit(before, q, r, doc.Bytes());
    if (!broken.empty()) {
      std::fprintf(stderr, "[%s] %s: %s\n", q.section.c_str(), q.key.c_str(), broken.c_str());
      ZQ_KIT_CHECK(broken.empty());
    }
    ZQ_KIT_CHECK(zq::SettingsDocument(doc.Bytes()).Bytes() == doc.Bytes());
  }
  return 0;
}
