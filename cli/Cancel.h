// Ctrl-C asks the running job to stop through its own cancel path.
#pragma once

namespace reelcast::cli {

// Installs the SIGINT/SIGTERM handler; a second Ctrl-C ends the process at once.
void InstallCancelHandler();
bool CancelRequested();

}  // namespace reelcast::cli
