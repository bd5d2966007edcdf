// The whole settings load on any bytes as Setup.ini, then a few ticks with
// devices shaken by a seed taken from the same bytes: the load ends in one of
// its two ways and every tick keeps the control state within its ranges.
#include <string_view>

#include "app/tick_driver.h"
#include "config/settings_file.h"
#include "fuzz_support.h"

namespace {

void CheckCurveBank(const zq::CurveBank& bank) {
  ZQ_FUZZ_CHECK(bank.curveCount >= 0 && bank.curveCount <= zq::kCurveSets);
  ZQ_FUZZ_CHECK(bank.curveIndex >= 0);
  ZQ_FUZZ_CHECK(bank.curveIndex < (bank.curveCount > 0 ? bank.curveCount : 1));
  // the twelfth integer of every slot is never set from the file
  for (size_t k = 0; k < zq::kCurveSets; ++k) {
    ZQ_FUZZ_CHECK(bank.curvesY[k].slot[11] == 0);
    ZQ_FUZZ_CHECK(bank.curvesX[k].slot[11] == 0);
    ZQ_FUZZ_CHECK(bank.curvesZ[k].slot[11] == 0);
  }
  ZQ_FUZZ_CHECK(bank.curveTrimY.slot[11] == 0 && bank.curveTrimX.slot[11] == 0 &&
                bank.curveTrimZ.slot[11] == 0);
}

void CheckPreview(const zq::TForm1& form) {
  for (int32_t h : form.PPaint()) {
    zq::PreviewRows rows = zq::PreviewColumnRows(h);
    if (rows.first <= rows.last) ZQ_FUZZ_CHECK(rows.first >= 0 && rows.last <= 16);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  zq::fuzz::FuzzDevices devices;
  zq::fuzz::NullView view;
  zq::fuzz::CheckingSender udp;
  zq::fuzz::CountingReport report;
  zq::CurveBank bank;
  zq::TForm1 form(bank, devices, view, udp);
  zq::CreateForm(form, zq::ProfileTextSettings(text), zq::NoKeyCharMap(), {1920, 1080}, report);

  const zq::FormState& state = form.State();
  CheckCurveBank(bank);
  bool complete = bank.curveCount > 0;
  ZQ_FUZZ_CHECK(report.reports == (complete ? 0 : 1));
  for (int vk : {13, 27, 144}) ZQ_FUZZ_CHECK(state.watchedKeys.Contains(vk));
  ZQ_FUZZ_CHECK(state.control.useTrim && state.control.useYTrim);
  ZQ_FUZZ_CHECK(form.WindowPlacement().width == (complete ? 42 : 104));
  CheckPreview(form);

  zq::fuzz::Mixer mix(zq::fuzz::HashBytes(text));
  for (int tick = 0; tick < 12; ++tick) {
    devices.Shake(mix);
    if (mix.Below(4) == 0) udp.next = {zq::SendResult::Kind::sendFailed, 10054};
    int sendsBefore = udp.sends;
    zq::RunTick(form, report);
    const zq::ControlState& c = state.control;
    ZQ_FUZZ_CHECK(udp.sends - sendsBefore <= 1);
    ZQ_FUZZ_CHECK(c.throttle >= 0 && c.throttle <= 110);
    ZQ_FUZZ_CHECK(c.flaps >= 0 && c.flaps <= 3);
    ZQ_FUZZ_CHECK(c.fireTime1 >= 0 && c.fireTime2 >= 0);
    ZQ_FUZZ_CHECK(c.trimXBtn >= -100 && c.trimXBtn <= 100);
    ZQ_FUZZ_CHECK(c.trimZBtn >= -100 && c.trimZBtn <= 100);
    ZQ_FUZZ_CHECK((c.trimYBtn >= -100 && c.trimYBtn <= 100) || c.trimYBtn == c.startTrim);
    CheckCurveBank(bank);
  }
  CheckPreview(form);
  return 0;
}
