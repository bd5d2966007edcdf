#include "control/status_view.h"

namespace zq {

namespace {

constexpr std::string_view kNames[kLabelCount] = {"f",  "yp", "xp", "xyp",    "zyp",
                                                  "ty", "tx", "tz", "Label1", "Label2"};
// Each name at its own label's place.
#define ZQ_NAMED(name) (kNames[static_cast<int>(Label::name)] == #name)
static_assert(ZQ_NAMED(f) && ZQ_NAMED(yp) && ZQ_NAMED(xp) && ZQ_NAMED(xyp) && ZQ_NAMED(zyp) &&
              ZQ_NAMED(ty) && ZQ_NAMED(tx) && ZQ_NAMED(tz) && ZQ_NAMED(Label1) &&
              ZQ_NAMED(Label2) && static_cast<int>(Label::Label2) + 1 == kLabelCount);
#undef ZQ_NAMED

}  // namespace

std::string_view LabelName(Label label) {
  return kNames[static_cast<int>(label)];
}

}  // namespace zq
