// zq-thrust.exe: the panel on Windows. Takes no command line; reads
// ".\Setup.ini" once; sends to 127.0.0.1:21100 until its window is closed.
#include <windows.h>
#include <winsock2.h>

#include <clocale>
#include <exception>
#include <optional>

#include "app/tick_driver.h"
#include "control/command_message.h"
#include "platform/win32/win32_error_box.h"
#include "platform/win32/win32_input.h"
#include "platform/win32/win32_profile.h"
#include "platform/win32/win32_udp.h"
#include "platform/win32/win32_window.h"

namespace zq {
namespace {

// Program-wide storage outside the window, all zero when the process starts.
CurveBank curveBank;

// A second copy may not run: two panels would send conflicting values.
// Creating the mutex and looking at the result closes the gap that opening
// it first would leave between two copies started at the same instant.
bool AnotherCopyRuns() {
  SetLastError(ERROR_SUCCESS);
  HANDLE instanceMutex = CreateMutexA(nullptr, FALSE, "ZQ-test-joy");
  DWORD error = GetLastError();
  // The handle is held to the end of the run; the system releases it with
  // the process. Access denied means the mutex exists but was made by a copy
  // of another integrity level (an elevated one): a copy runs all the same.
  return error == ERROR_ALREADY_EXISTS ||
         (instanceMutex == nullptr && error == ERROR_ACCESS_DENIED);
}

std::optional<StartupFailure> MakeWindow(HINSTANCE instance, Win32Panel& panel,
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

int RunPanel(HINSTANCE instance) {
  Win32InputDevices devices;
  WinsockSession winsock;
  Win32UdpSender udp;
  Win32Panel panel;
  TForm1 form(curveBank, devices, panel, udp);
  MessageBoxErrorReport report(ProgramTitle(ExecutablePath()));
  panel.Attach(form, report);

  if (std::optional<StartupFailure> failure = MakeWindow(instance, panel, winsock)) {
    ShowApplicationError(*failure);
    return 1;
  }
  report.SetOwner(panel.Handle());

  Win32ProfileSettings settings;
  Win32KeyCharMap keyMap;
  ScreenSize screen{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  try {
    CreateForm(form, settings, keyMap, screen, report);
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
  form.FormDestroy();
  udp.Close();
  return 0;
}

}  // namespace
}  // namespace zq

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  if (zq::AnotherCopyRuns()) return 0;
  // Numbers are formatted by the panel itself with "."; the C library's
  // locale stays the classic one whatever the regional settings say.
  std::setlocale(LC_ALL, "C");
  return zq::RunPanel(instance);
}
