#pragma once

#include <QString>
#include <QStringList>

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

// What makes the open file unfit to be the directory, one sentence each: the table or one of its
// columns missing, or damaged pages. Empty when the file is fit. Reads every page once.
QStringList Problems(db::Connection& connection);
// Throws a db::Error naming the first problem, if any.
void Verify(db::Connection& connection);
// Makes the ship-owner table, with what it needs, on the server the connection is open on.
void CreateOnServer(db::Connection& connection);
// Removes the ship-owner table from the server, with every company in it.
void DropOnServer(db::Connection& connection);

// Copies the open file to `target` through the engine's online backup: a consistent copy, keyed
// as the original, taken while other programs read and save. The copy appears under its name only
// when it is complete; an existing target is refused.
void Backup(db::Connection& connection, const QString& target);

} // namespace dbfile
