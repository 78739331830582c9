// Ctrl-C asks the running job to stop through its own cancel path.
#pragma once

namespace reelcast::cli {

// Installs the handler of the signals that end a run (SIGINT, SIGTERM, SIGHUP,
// SIGXCPU); a second one ends the process at once.
void InstallCancelHandler();
bool CancelRequested();

}  // namespace reelcast::cli
