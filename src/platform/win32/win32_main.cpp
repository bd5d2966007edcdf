// zq-thrust.exe: the panel on Windows. Reads ".\Setup.ini" (or the file
// --setup names); sends to 127.0.0.1:21100 until its window is closed.
#include <windows.h>
#include <winsock2.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <clocale>
#include <exception>
#include <filesystem>
#include <optional>
#include <vector>

#include "app/command_line.h"
#include "app/form_design.h"
#include "app/form_shell.h"
#include "app/run_report.h"
#include "config/settings_snapshot.h"
#include "control/command_message.h"
#include "platform/win32/win32_error_box.h"
#include "platform/win32/win32_input.h"
#include "platform/win32/win32_instance.h"
#include "platform/win32/win32_keyboard.h"
#include "platform/win32/win32_profile.h"
#include "platform/win32/win32_report_lines.h"
#include "platform/win32/win32_udp.h"
#include "platform/win32/win32_window.h"

namespace zq {
namespace {

// Program-wide storage outside the window, all zero when the process starts.
CurveBank curveBank;

std::optional<StartupFailure> MakeWindow(HINSTANCE instance, Win32Window& panel,
                                         WinsockSession& winsock) {
  // The position reported is this step's place in the program's image.
  auto failure = [](std::string kind, std::string message) {
    return StartupFailure{std::move(kind), std::move(message),
                          ImageOffset(reinterpret_cast<const void*>(&MakeWindow))};
  };
  if (!panel.Create(instance)) {
    return failure("EWindowError", "Cannot create the window: " + SystemErrorText(GetLastError()));
  }
  if (!panel.StartTimer()) return failure("ETimerError", "Not enough timers available");
  if (int error = winsock.Start(); error != 0) {
    SendResult failed{SendResult::Kind::sendFailed, error};
    return failure("ESocketError", std::string(SendFailureText(failed).View()));
  }
  return std::nullopt;
}

// The arguments of the command line (a shortcut's target line too), each
// in UTF-8, without the program's own name.
std::vector<std::string> Arguments() {
  std::vector<std::string> args;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return args;
  for (int i = 1; i < count; ++i) {
    int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string a(n > 0 ? static_cast<size_t>(n - 1) : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, a.data(), n, nullptr, nullptr);
    args.push_back(std::move(a));
  }
  LocalFree(wide);
  return args;
}

// The report's lines about the settings file, and a load error's file,
// line and key. The profile calls read the file themselves; this reading
// only tells what is there.
void ReportSettings(const std::filesystem::path& path, const TForm1* form, ReportLines& lines,
                    RunReport& run) {
  std::error_code ec;
  const std::filesystem::path shown = std::filesystem::absolute(path, ec).lexically_normal();
  SettingsFileText file = ReadSettingsFile(path.string());
  if (form == nullptr) {
    for (const std::string& line :
         SettingsReportLines(shown, file.state, SettingsFileCause(file))) {
      lines.Line(line);
    }
    return;
  }
  const std::optional<BindingLoadError>& e = form->LoadError();
  if (!e) return;
  const std::string_view key = kSlotTable[static_cast<size_t>(e->slot)].key;
  run.LoadEndedAt(e->slot);
  lines.Line(LoadErrorLine(shown.string(), KeyLine(ProfileText(file.text), "main", key), key,
                           MakeReportText(e->error.Message()).View()));
}

// The load's error box is modal and ticks run under it: the line naming
// file, line and key goes out before the box opens.
class LoadErrorFirst : public ErrorReport {
 public:
  LoadErrorFirst(ErrorReport& box, const std::filesystem::path& path, const TForm1& form,
                 ReportLines& lines, RunReport& run)
      : box_(box), path_(path), form_(form), lines_(lines), run_(run) {}
  void ReportError(std::string_view text) override {
    ReportSettings(path_, &form_, lines_, run_);
    box_.ReportError(text);
  }

 private:
  ErrorReport& box_;
  const std::filesystem::path& path_;
  const TForm1& form_;
  ReportLines& lines_;
  RunReport& run_;
};

int RunPanel(HINSTANCE instance, const PanelOptions& options) {
  Win32InputDevices devices;
  AnswerWatch answers(devices);
  WinsockSession winsock;
  Win32UdpSender udp;
  Win32Window panel;
  TForm1 form(curveBank, answers, panel, udp);
  const std::string title = ProgramTitle(ExecutablePath());
  Win32ErrorReport report(title);
  DebugStringLines lines(title);
  RunReport run(lines);
  panel.Attach(form, report);
  panel.AttachRunReport(run, answers);

  if (std::optional<StartupFailure> failure = MakeWindow(instance, panel, winsock)) {
    ShowApplicationError(*failure);
    return 1;
  }
  report.SetOwner(panel.Handle());

  // Without --setup exactly as always: ".\Setup.ini". A chosen file is named
  // by its full path: the profile calls look for a bare name in the Windows
  // folder.
  const std::filesystem::path path = SettingsPathOf(options);
  std::error_code ec;
  Win32ProfileSettings settings =
      options.setupChosen ? Win32ProfileSettings(std::filesystem::absolute(path, ec).string())
                          : Win32ProfileSettings();
  ReportSettings(path, nullptr, lines, run);
  Win32KeyCharMap keyMap;
  ScreenSize screen{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  try {
    LoadErrorFirst loadReport(report, path, form, lines, run);
    CreateForm(form, settings, keyMap, screen, loadReport);
  } catch (const std::exception& e) {
    // The run goes on with what the load had set, as after a binding error.
    report.ReportError(MakeReportText(e.what()).View());
  }
  panel.Show();

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  udp.Close();
  return 0;
}

}  // namespace
}  // namespace zq

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  const zq::PanelOptions options = zq::ParsePanelOptions(zq::Arguments());
  const std::string program = zq::ProgramTitle(zq::ExecutablePath());
  switch (options.action) {
    case zq::PanelOptions::Action::help:
      zq::ShowText(program, zq::PanelHelpText(program), false);
      return 0;
    case zq::PanelOptions::Action::version:
      zq::ShowText(program, zq::PanelVersionText(program), false);
      return 0;
    case zq::PanelOptions::Action::bad:
      zq::ShowText(program, program + ": " + options.error + " (see " + program + " --help)\n",
                   true);
      return 2;
    case zq::PanelOptions::Action::run:
      break;
  }
  // A second copy may not run: two panels would send conflicting values.
  zq::InstanceGuard guard;
  if (guard.Acquire() == zq::InstanceGuard::Result::otherCopyRuns) return 0;
  // Numbers are formatted by the panel itself with "."; the C library's
  // locale stays the classic one whatever the regional settings say.
  std::setlocale(LC_ALL, "C");
  return zq::RunPanel(instance, options);
}
