#pragma once

#include <QString>

namespace db {
class Connection;
}

// Where the directory lives and how it is keyed.
namespace dbfile {

inline const QString kFileName = QStringLiteral("shipall.bcd");
inline const QString kPassword = QStringLiteral("quarvelmix");

QString PathIn(const QString& directory);

// Makes a new, keyed, empty directory file with the ship-owner table and leaves the connection
// open on it. Refuses to touch an existing file.
void Create(db::Connection& connection, const QString& path);

} // namespace dbfile
