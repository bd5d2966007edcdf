#include "control/status_view.h"

namespace zq {

std::string_view LabelName(Label label) {
  static constexpr std::string_view kNames[kLabelCount] = {"f",  "yp", "xp", "xyp",    "zyp",
                                                           "ty", "tx", "tz", "Label1", "Label2"};
  return kNames[static_cast<int>(label)];
}

}  // namespace zq
