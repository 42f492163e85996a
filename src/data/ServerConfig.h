#pragma once

#include <QString>

// Which directory the program and the tool use: the encrypted file, or a server named in
// server.conf in the system directory.
namespace serverconf {

inline const QString kFileName = QStringLiteral("server.conf");

QString PathIn(const QString& directory);
bool Exists(const QString& directory);
// The one line of server.conf: a libpq connection string or URI. Throws db::Error when it cannot
// be read or is refused (see Check).
QString Read(const QString& directory);
// Why a connection string cannot go into server.conf: it does not parse, or it holds a password
// (passwords belong in ~/.pgpass, PGPASSWORD or a service file). Empty when it can.
QString Check(const QString& conninfo);
// The server and database a connection string names, for messages: "host/database".
QString Describe(const QString& conninfo);
// The same for the server.conf in the directory, read even when it is refused; never throws.
QString DescribeIn(const QString& directory);
// The connection string that opens the directory in the system directory.
QString ConnectionStringFor(const QString& directory);
// The connection string that opens a server.
QString ServerConnectionString(const QString& conninfo);

} // namespace serverconf
