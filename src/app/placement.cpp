#include "app/placement.h"

#include "app/form_design.h"

namespace zq {

Placement DesignPlacement() {
  return {kDesignLeft, kDesignTop, kDesignWidth, kDesignHeight};
}

Placement PlaceWindow(int32_t windowX, int32_t windowY, ScreenSize screen) {
  Placement p;
  p.width = kPanelWidth;
  p.height = kDesignHeight;
  if (windowY == -1) {
    // height / 1.6 is 5 * height / 8, rounded to nearest with ties to even
    int64_t n = int64_t{5} * screen.height;
    int64_t q = n / 8, rem = n % 8;
    if (rem < 0) {
      rem += 8;
      --q;
    }
    if (rem > 4 || (rem == 4 && (q & 1))) ++q;
    p.top = static_cast<int32_t>(q);
  } else {
    p.top = windowY;
  }
  p.left = windowX == -1 ? static_cast<int32_t>(int64_t{screen.width} - kPanelWidth) : windowX;
  return p;
}

}  // namespace zq
