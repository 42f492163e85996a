#pragma once

#include <QString>

namespace platform {

// The directory that plays the part of the Windows system directory: $ORVANDEL_SYSTEM_DIR when
// set and not empty, else $XDG_DATA_HOME/orvandel, else $HOME/.local/share/orvandel.
QString SystemDirectoryPath();

// Shaped after the Windows call: writes the path and a NUL into buffer when it fits and returns
// the path's length; otherwise writes nothing and returns the size needed, NUL included.
// Returns 0 when there is no directory to report.
unsigned GetSystemDirectoryA(char* buffer, unsigned size);

} // namespace platform
