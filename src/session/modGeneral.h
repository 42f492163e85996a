#pragma once

#include <QString>

namespace db {
class Connection;
}

// Process-wide state shared by the windows.
namespace modGeneral {

// The system directory as the platform reported it; set once by start-up.
extern QString systemDir;

// The one connection of the process, created on first use; never closed by the program.
db::Connection& dbConnection();

} // namespace modGeneral
