// zq-listen [--port N] [--count N] [--timeout SEC]
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>

#include "app/version.h"
#include "control/datagram_sender.h"
#include "platform/platform.h"
#include "tool_args.h"
#include "zq_listen/message_decode.h"

namespace {

constexpr int kCannotListen = 1;
constexpr int kUsageStatus = zq::tools::kUsageStatus;
constexpr int kTimedOut = 3;

const std::string kUsage =
    "usage: zq-listen [--port N] [--count N] [--timeout SEC] [--help] [--version]\n"
    "Listens on 127.0.0.1 (port " +
    std::to_string(zq::kCommandPort) +
    ", where the panel sends) and prints every\n"
    "command message as it arrives: the time, the raw text and each channel by\n"
    "name and value. Text that does not follow the message grammar is flagged\n"
    "on lines starting with '!'. Ctrl+C stops it.\n"
    "\n"
    "  --port N       listen on port N instead (0: any free port, printed at start)\n"
    "  --count N      stop after N datagrams\n"
    "  --timeout SEC  stop after SEC seconds\n"
    "  --help         show this and exit\n"
    "  --version      show the version and exit\n"
    "Options take their value as '--opt value' or '--opt=value'.\n"
    "\n"
    "Exit status: 0 stopped by Ctrl+C, SIGTERM, --count or --timeout; 1 the port\n"
    "cannot be bound (in use: the simulator may be running) or the socket fails;\n"
    "2 bad usage; "
    "3 --timeout ran out before --count datagrams arrived.\n";

int Usage(std::string_view problem) {
  return zq::tools::UsageError("zq-listen", problem);
}

bool ParseNumber(std::string_view text, long long max, long long& out) {
  auto v = zq::tools::ParseDecimal(text, static_cast<uint64_t>(max), 12);
  if (!v) return false;
  out = static_cast<long long>(*v);
  return true;
}

std::string Now() {
  auto now = std::chrono::system_clock::now();
  std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
  std::tm local = zq::LocalTime(seconds);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(millis.count()));
  return buf;
}

std::string ListenFailure(int e, long long port) {
  std::string where = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": ";
  if (zq::IsAddressInUse(e)) {
    return where + "the port is in use (" + zq::ListenErrorText(e) +
           "). The simulator, or another zq-listen, may be running: close it first, or "
           "choose another port with --port N.";
  }
  if (zq::IsAccessDenied(e)) {
    return where + zq::ListenErrorText(e) + " (ports below 1024 need privileges)";
  }
  return where + zq::ListenErrorText(e);
}

// Prints the datagram decoded; true when it follows the message grammar.
bool Print(std::string_view datagram) {
  zq::listen::DecodedMessage m = zq::listen::DecodeMessage(datagram);
  std::string line = Now() + "  " + zq::listen::Printable(datagram);
  for (size_t i = 0; i < m.channels.size(); ++i) line += (i ? ", " : "  ") + m.channels[i];
  line += '\n';
  for (const std::string& p : m.problems) line += "  ! " + p + '\n';
  std::cout << line << std::flush;
  return m.problems.empty();
}

}  // namespace

int main(int argc, char** argv) {
  long long port = zq::kCommandPort, count = 0, timeout = -1;
  zq::tools::ArgReader args(argc, argv);
  while (args.Next()) {
    std::string_view a = args.Name();
    auto value = [&](long long max, long long& out, const char* what) {
      std::optional<std::string> v = args.Value();
      if (!v || !ParseNumber(*v, max, out)) {
        Usage(std::string(a) + " needs " + what);
        return false;
      }
      return true;
    };
    bool takesValue = a == "--port" || a == "--count" || a == "--timeout";
    if (!args.IsOption()) {
      return Usage("unexpected argument '" + args.Shown() + "'");
    } else if (auto status = args.CommonOption("zq-listen", kUsage, takesValue)) {
      return *status;
    } else if (a == "--port") {
      if (!value(65535, port, "a port number, 0 to 65535")) return kUsageStatus;
    } else if (a == "--count") {
      if (!value(1000000000, count, "a number of datagrams")) return kUsageStatus;
      if (count == 0) return Usage("--count needs 1 or more");
    } else if (a == "--timeout") {
      if (!value(86400 * 365, timeout, "a number of seconds")) return kUsageStatus;
    } else {
      return Usage("unknown option '" + args.Shown() + "'");
    }
  }

  if (!zq::InstallStopSignals()) {
    std::cerr << "zq-listen: cannot set up the stop signals: " << std::strerror(errno) << '\n';
    return kCannotListen;
  }
  std::unique_ptr<zq::DatagramListener> listener = zq::MakeDatagramListener();
  if (int e = listener->Open(static_cast<uint16_t>(port)); e != 0) {
    std::cerr << "zq-listen: " << ListenFailure(e, port) << '\n';
    return kCannotListen;
  }
  std::cerr << "zq-listen: listening on 127.0.0.1:" << listener->Port() << "; Ctrl+C stops"
            << std::endl;

  using Clock = std::chrono::steady_clock;
  Clock::time_point deadline = Clock::now() + std::chrono::seconds(timeout < 0 ? 0 : timeout);
  long long received = 0, flagged = 0;
  int status = 0;
  std::string data;
  while (!zq::StopRequested() && (count == 0 || received < count)) {
    int waitMs = -1;
    if (timeout >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) {
        if (count != 0) status = kTimedOut;
        break;
      }
      waitMs = static_cast<int>(left.count() < 60000 ? left.count() : 60000);
    }
    int e = 0;
    switch (listener->Receive(data, waitMs, zq::StopDescriptor(), e)) {
      case zq::DatagramListener::Wait::datagram:
        ++received;
        if (!Print(data)) ++flagged;
        break;
      case zq::DatagramListener::Wait::failed:
        std::cerr << "zq-listen: receiving failed: " << zq::ListenErrorText(e) << '\n';
        return kCannotListen;
      case zq::DatagramListener::Wait::timeout:
      case zq::DatagramListener::Wait::woken:
        break;
    }
  }
  std::cerr << "zq-listen: " << received << (received == 1 ? " datagram" : " datagrams") << ", "
            << flagged << " not following the message grammar"
            << (status == kTimedOut ? "; --timeout ran out before --count datagrams" : "") << '\n';
  return status;
}
