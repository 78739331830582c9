// The file information dialog: what the media probe says about a file, with its
// name and size, in a read-only text.
#pragma once

#include <QString>

class QWidget;

namespace reelcast::app {

// Probes `path` and shows the dialog modally; a file the probe cannot read gets
// "Can not get information of the file!" instead. Nothing happens when the
// engine's probe is unavailable.
void ShowFileInfo(QWidget* parent, const QString& path);

}  // namespace reelcast::app
