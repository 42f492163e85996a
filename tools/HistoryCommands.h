#pragma once

#include <QString>
#include <QStringList>

namespace db {
class Connection;
}

// The database tool's history commands: a company's versions, restoring one, the deleted
// companies, and pruning.
namespace historycommands {

// Each returns the exit status; a mistake in the arguments is 2, with `error` saying what.
int History(db::Connection& connection, const QStringList& arguments, QString* error);
int RestoreRecord(db::Connection& connection, const QStringList& arguments, QString* error);
int Deleted(db::Connection& connection, const QStringList& arguments, QString* error);
int Prune(db::Connection& connection, const QStringList& arguments, QString* error);

inline constexpr char kUsage[] =
    "  history ID            list a company's versions, newest first: number, time,\n"
    "                        who, and what changed\n"
    "  restore-record ID --version N | --at TIME\n"
    "                        make version N (or the newest version at TIME, as\n"
    "                        2026-12-10 or 2026-12-10T14:30, local time) current\n"
    "                        again; a deleted company comes back under its id\n"
    "  deleted               list the deleted companies: id, name, country, when, who\n"
    "  prune-history --before DATE\n"
    "                        remove the versions recorded before DATE (local time),\n"
    "                        the only way the history shrinks\n";

} // namespace historycommands
