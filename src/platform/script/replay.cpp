#include "platform/script/replay.h"

#include <optional>

#include "config/settings_snapshot.h"
#include "platform/script/script_session.h"

namespace zq {

int RunReplay(const ReplayOptions& options, std::istream& script, const std::string& scriptName,
              std::ostream& out, std::ostream& err) {
  // Read once, as the panel does; a file it cannot read is named on
  // standard error (the events stay as the contract has them).
  SettingsSnapshot settings = TakeSettingsSnapshot(options.setupPath);
  if (settings.Refused()) err << "zq-replay: " << settings.Message() << '\n';
  ScriptSession replay(settings, options.screen, out, options.udp);
  out.flush();
  std::string line;
  int lineNumber = 0;
  while (std::getline(script, line)) {
    ++lineNumber;
    if (std::optional<std::string> error = replay.Execute(line)) {
      out.flush();
      err << scriptName << ':' << lineNumber << ": " << *error << '\n';
      return 2;
    }
    out.flush();
  }
  return 0;
}

}  // namespace zq
