#pragma once

#include <QString>

namespace db {
class Connection;
}

// Process-wide state shared by the windows.
namespace modGeneral {

// The system directory as the platform reported it; set once by start-up.
extern QString systemDir;

// Whether this desk's account may add, change and delete companies (an office may give some desks
// reading only); set once by start-up.
extern bool mayChange;

// The one connection of the process, created on first use; never closed by the program.
db::Connection& dbConnection();

} // namespace modGeneral
