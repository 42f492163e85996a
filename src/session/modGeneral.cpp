#include "session/modGeneral.h"

#include "data/Connection.h"

#include <memory>

namespace modGeneral {

QString systemDir;
bool mayChange = true;

db::Connection& dbConnection() {
    static std::unique_ptr<db::Connection> connection;
    if (!connection)
        connection = std::make_unique<db::Connection>();
    return *connection;
}

} // namespace modGeneral
