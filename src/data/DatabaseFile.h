#pragma once

#include "data/DbError.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace db {
class Connection;
}

// Where the directory lives and how it is keyed.
namespace dbfile {

class PageCheck;

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

// Whether a check reads every page of the file as well as its layout.
enum class Pages { Checked, Skipped };

// What makes the open store unfit to be the directory: no ship-owner table, a column of its
// layout version missing, a layout newer than this program's, damaged pages (where the engine can
// check them, unless skipped: this reads every page once). Empty when it is fit.
QList<Problem> Problems(db::Connection& connection, Pages pages = Pages::Checked);
// Throws a db::Error naming the problems, of the first one's kind, if there are any.
void Verify(db::Connection& connection, Pages pages = Pages::Checked);

// When opening a directory file checks its pages: before it opens for writing, or beside the
// program on a thread of its own, with every commit waiting for the verdict.
enum class PageCheckTiming { BeforeOpening, InBackground };

// Opens the directory a connection string names, as the program and the tool use it: a file is
// checked through a read-only connection first, so that a file that is refused is never written
// to; then it is opened for writing and an older layout is brought up to date, its pages checked
// first whatever the timing; `beforeUpgrade`, when given, is called before that starts. Returns the
// check left to run in the background (not started yet), if there is one.
std::shared_ptr<PageCheck> OpenDirectory(db::Connection& connection,
                                         const QString& connectionString,
                                         PageCheckTiming timing = PageCheckTiming::BeforeOpening,
                                         const std::function<void()>& beforeUpgrade = {});

// Makes the ship-owner table, with what it needs, on the server the connection is open on.
void CreateOnServer(db::Connection& connection);
// Removes the ship-owner table from the server, with every company in it.
void DropOnServer(db::Connection& connection);

// Copies the directory the connection is open on, file or server, into a new directory file at
// `target`, keyed as the program's own: a consistent copy (the file engine's online backup; on a
// server the rows of one snapshot), taken while others read and save. The copy appears under its
// name only when complete, readable by its owner only; an existing target is refused.
void Backup(db::Connection& connection, const QString& target);

// How many companies the directory holds.
qint64 CompanyCount(db::Connection& connection);

// Replaces every company of the directory on the server the connection is open on with those of
// a directory file (a backup), keeping their ids, in one transaction; new ids come after the
// highest. Throws, with nothing changed, when the file is no sound directory.
void RestoreOnServer(db::Connection& connection, const QString& source);

// Puts a directory file (a backup) in the place of the directory file at `path`, whose old
// content is kept beside it (PATH.before-restore, the first free name), returned. Refused with an
// Error of kind Busy, nothing changed, while another program has the file open.
QString RestoreFile(const QString& path, const QString& source);

// The first of NAME, NAME.2, NAME.3, ... that is free.
QString FreeName(const QString& name);

} // namespace dbfile
