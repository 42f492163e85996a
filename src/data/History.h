#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace db {
class Connection;
}

// Every change of a company, kept by the store itself: triggers on the ship-owner table write a
// row into the history table for each insert, update and delete, whoever makes it (the screens,
// the tool, another program on the file or on the server). An update that changes nothing
// writes nothing. The history only shrinks by Prune().
namespace history {

inline const QString kTable = QStringLiteral("orvandel_history");
// Everyone who has changed the directory, once each: a version names its writer by number.
inline const QString kWritersTable = QStringLiteral("orvandel_writers");
// On the file: a one-row table in which the program names the writer of a transaction (by
// number) for the triggers; another program leaves it empty, and its changes are recorded
// without a writer.
inline const QString kWriterTable = QStringLiteral("orvandel_writer");

// What one change left: the company's whole record after it (before it, for a delete). The store
// keeps only what each change changed, with the values before it (the whole record for a
// delete); the readers rebuild each version from the company's current record backwards.
struct Version {
    qint64 version = 0; // the company's own, ascending from 1
    qint64 companyId = 0;
    QString change;      // "insert", "update" or "delete"
    QDateTime at;        // UTC
    QString who;         // empty when the writer did not say
    QVariantList values; // the record's columns without the id, in table order

    // One column's value as the screens show it.
    QString Text(const QString& column) const;
};

// The time of a change as the screens, the tool and the export show it: local time, to the
// second.
QString LocalTimeText(const QDateTime& utc);

// The statements that add the history to a directory: its table and the triggers that fill it.
QStringList FileStatements();
QStringList ServerStatements();
// Turns a history that kept the whole record for every version, as the history's first layout
// did, into this one, with the triggers that write it.
void KeepOnlyChangedFields(db::Connection& connection);

// A company's versions, newest first.
QList<Version> VersionsOf(db::Connection& connection, qint64 companyId);
// The companies deleted and not brought back: each one's last version, newest first.
QList<Version> Deleted(db::Connection& connection);
// Makes a version's record the company's current one: a new change, itself recorded. Throws
// RowChangedError when the company changed since `newestSeen` (its newest version when the
// caller looked) or is gone.
void RestoreVersion(db::Connection& connection, const Version& version, qint64 newestSeen);
// Brings a deleted company back under its own id from its last version; refused (Misuse) when a
// company has that id now.
void Undelete(db::Connection& connection, const Version& deleted);
// Removes the versions recorded before the time; returns how many.
qint64 Prune(db::Connection& connection, const QDateTime& before);

// Each company's newest change: when (UTC) and by whom, by company id.
struct LastChange {
    QDateTime at;
    QString who;
};
QHash<qint64, LastChange> LastChanges(db::Connection& connection);

// The names of the columns a version's values hold, in order.
QStringList ValueColumns();
// "公司名称：旧 → 新" for each field that differs between two versions' values.
QStringList Differences(const QVariantList& before, const QVariantList& after);

} // namespace history
