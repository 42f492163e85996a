#pragma once

#include "data/Connection.h"
#include "data/DatabaseFile.h"
#include "data/ServerConfig.h"

#include <QString>

// Leaves the connection open on an empty directory for a benchmark: a new file in the folder, or,
// when a server is named, its ship-owner table made again (what it held is lost).
inline void MakeEmptyDirectory(db::Connection& connection, const QString& server,
                               const QString& folder) {
    if (server.isEmpty()) {
        dbfile::Create(connection, dbfile::PathIn(folder));
        return;
    }
    connection.Open(serverconf::ServerConnectionString(server), QString(), QString());
    dbfile::DropOnServer(connection);
    dbfile::CreateOnServer(connection);
}
