#pragma once

#include <QString>
#include <memory>

namespace db {
class Connection;
}
namespace dbfile {
class PageCheck;
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

// The check of the directory file's pages that start-up leaves to run beside the windows, which
// every save waits for; none on a server. Set once by start-up.
extern std::shared_ptr<dbfile::PageCheck> pageCheck;
// Starts that check, once the main window is shown; then and on a server, does nothing.
void StartPageCheck();

} // namespace modGeneral
