#pragma once

#include <QString>

namespace db {
class Connection;
}

// Process-wide state and the entry procedure.
namespace modGeneral {

// The system directory as the platform reported it; set once by start-up.
extern QString systemDir;

// The one connection of the process, created on first use; never closed by the program.
db::Connection& dbConnection();

// The entry procedure: finds the system directory, opens the connection and shows the splash
// screen. On any failure shows the one start-up message and returns false; no window stays open.
bool Main();

} // namespace modGeneral
