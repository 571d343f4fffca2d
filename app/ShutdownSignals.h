// SIGTERM, SIGINT and SIGHUP close the main window as the user's Exit does: any modal loop is
// ended first (as if cancelled), then the main window gets WM_CLOSE, so the settings are saved and
// the database is compacted before the process ends.
#pragma once

namespace taluvo::app {

// Installs the handlers as early as possible; a signal that comes before the user-interface
// thread listens waits in the pipe.
bool InstallShutdownSignals();
// Once the application object exists: the user-interface thread starts acting on the signals.
void ListenForShutdownSignals();
// True once a shutdown signal arrived (also before the main window existed).
bool ShutdownRequested();

} // namespace taluvo::app
