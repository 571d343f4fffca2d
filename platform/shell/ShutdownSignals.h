// SIGTERM, SIGINT and SIGHUP turned into a call on the user-interface thread: the handler only
// writes a byte into a pipe, and every event loop of that thread (the main loop, modal dialogs,
// message boxes, menus) reads it and calls the program's handler.
#pragma once

#include <functional>

namespace taluvo::shell {

// Installs the handlers as early as possible; a signal that comes before the user-interface
// thread listens waits in the pipe. False when the pipe cannot be made.
bool InstallShutdownSignals();
// Once the application object exists: onSignal runs on the user-interface thread for each
// signal (several signals close together may make one call).
void ListenForShutdownSignals(std::function<void()> onSignal);
// True once a shutdown signal arrived (also before anybody listened).
bool ShutdownRequested();

} // namespace taluvo::shell
