// SIGINT and SIGTERM turned into a readable descriptor, so that a wait on
// the socket ends at once when the user stops the listener.
#pragma once

namespace zq::listen {

// Installs the handlers; false when the pipe or the handlers cannot be set up.
bool InstallStopSignals();
// Readable once a stop signal has arrived.
int StopDescriptor();
bool StopRequested();

}  // namespace zq::listen
