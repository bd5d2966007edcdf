#include "app/form_shell.h"

#include "control/command_message.h"

namespace zq {

void CreateForm(TForm1& form, const SettingsLookup& settings, const KeyCharMap& keyMap,
                ScreenSize screen, ErrorReport& report) {
  if (std::optional<std::string> error = form.FormCreate(settings, keyMap, screen)) {
    report.ReportError(MakeReportText(*error).View());
  }
  form.View().Place(form.WindowPlacement());
}

TickOutcome RunTick(TForm1& form, ErrorReport& report) {
  TickOutcome outcome = form.Timer1Timer();
  if (outcome.sent && !outcome.result.Ok()) {
    report.ReportError(MakeReportText(SendFailureText(outcome.result).View()).View());
  }
  return outcome;
}

}  // namespace zq
