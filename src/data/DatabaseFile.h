#pragma once

#include "data/DbError.h"

#include <QList>
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

// Makes a new, keyed, empty directory file with the ship-owner table, at the latest layout
// version, and leaves the connection open on it. Refuses to touch an existing file.
void Create(db::Connection& connection, const QString& path);

// One thing that makes the store unfit to be the directory.
struct Problem {
    db::ErrorKind kind; // NotADirectory, NewerSchema or Damaged
    QString text;       // one sentence
};

// What makes the open store unfit to be the directory: no ship-owner table, a column of its
// layout version missing, a layout newer than this program's, damaged pages (where the engine can
// check them: this reads every page once). Empty when it is fit.
QList<Problem> Problems(db::Connection& connection);
// Throws a db::Error naming the problems, of the first one's kind, if there are any.
void Verify(db::Connection& connection);

// Opens the directory a connection string names, as the program and the tool use it: a file is
// checked through a read-only connection first, so that a file that is refused is never written
// to; then it is opened for writing and an older layout is brought up to date.
void OpenDirectory(db::Connection& connection, const QString& connectionString);

// Makes the ship-owner table, with what it needs, on the server the connection is open on.
void CreateOnServer(db::Connection& connection);
// Removes the ship-owner table from the server, with every company in it.
void DropOnServer(db::Connection& connection);

// Copies the open store to `target` through the engine's own backup: a consistent copy, keyed as
// the original, taken while other programs read and save. An existing target is refused.
void Backup(db::Connection& connection, const QString& target);

} // namespace dbfile
