#include "session/modGeneral.h"

#include "data/Connection.h"
#include "data/PageCheck.h"

#include <memory>

namespace modGeneral {

QString systemDir;
bool mayChange = true;
std::shared_ptr<dbfile::PageCheck> pageCheck;

db::Connection& dbConnection() {
    static std::unique_ptr<db::Connection> connection;
    if (!connection)
        connection = std::make_unique<db::Connection>();
    return *connection;
}

void StartPageCheck() {
    if (pageCheck)
        pageCheck->Start();
}

} // namespace modGeneral
