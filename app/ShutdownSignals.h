// SIGTERM, SIGINT and SIGHUP close the main window as the user's Exit does: any modal loop is
// ended first (as if cancelled), then the main window gets WM_CLOSE, so the settings are saved and
// the database is compacted before the process ends.
#pragma once

namespace taluvo::app {

// Once the application object exists: the user-interface thread starts acting on the signals
// that taluvo::shell::InstallShutdownSignals caught from the start.
void ListenForShutdownSignals();

} // namespace taluvo::app
