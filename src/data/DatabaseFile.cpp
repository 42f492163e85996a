#include "data/DatabaseFile.h"

#include "data/Connection.h"
#include "data/DbError.h"
#include "data/Engine.h"
#include "data/ShipOwnerTable.h"
#include "data/SqliteEngine.h"
#include "data/Statement.h"
#include "data/Transaction.h"

#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>

namespace dbfile {

QString PathIn(const QString& directory) {
    return directory + QLatin1Char('/') + kFileName;
}

void Create(db::Connection& connection, const QString& path) {
    if (QFileInfo::exists(path))
        throw db::Error(SQLITE_CANTOPEN, QStringLiteral("%1 exists already").arg(path));
    connection.OpenFile(path, kPassword, true);
    connection.Execute(shipowner::CreateTableStatement());
}

QStringList Problems(db::Connection& connection) {
    QStringList problems;
    try {
        const std::unique_ptr<db::RowStream> rows = connection.engine().Query(
            QStringLiteral("SELECT * FROM %1 WHERE 1=0").arg(shipowner::kTable));
        QStringList present;
        for (int i = 0; i < rows->ColumnCount(); ++i)
            present.append(rows->ColumnName(i).toLower());
        for (const QString& column : shipowner::Columns())
            if (!present.contains(column.toLower()))
                problems.append(
                    QStringLiteral("the table %1 has no column %2").arg(shipowner::kTable, column));
    } catch (const db::Error& error) {
        problems.append(error.code() == SQLITE_ERROR
                            ? QStringLiteral("the file has no table %1").arg(shipowner::kTable)
                            : QStringLiteral("the table %1 cannot be read: %2")
                                  .arg(shipowner::kTable, error.message()));
    }
    if (dynamic_cast<db::SqliteEngine*>(&connection.engine()) == nullptr)
        return problems;
    try {
        // Checks every page but not the indexes against the rows: a tenth of a second or so on
        // a large directory, well within the time the splash screen shows.
        db::Statement check(connection.Handle(), QStringLiteral("PRAGMA quick_check"));
        while (check.Step()) {
            const QString line = check.Column(0).toString();
            if (line != QLatin1String("ok"))
                problems.append(QStringLiteral("the file is damaged: %1").arg(line));
        }
    } catch (const db::Error& error) {
        problems.append(QStringLiteral("the file is damaged: %1 (code %2)")
                            .arg(error.message())
                            .arg(error.code()));
    }
    return problems;
}

void Backup(db::Connection& connection, const QString& target) {
    if (QFileInfo::exists(target))
        throw db::Error(SQLITE_CANTOPEN, QStringLiteral("%1 exists already").arg(target));
    const QString partial = target + QStringLiteral(".partial");
    QFile::remove(partial);
    {
        db::Connection copy;
        copy.OpenFile(partial, kPassword, true);
        sqlite3* destination = copy.Handle();
        sqlite3_backup* backup =
            sqlite3_backup_init(destination, "main", connection.Handle(), "main");
        if (backup == nullptr)
            db::ThrowEngineError(destination, sqlite3_errcode(destination));
        int rc = SQLITE_OK;
        // A few pages at a time, so that a save elsewhere waits only a moment; a page changed
        // meanwhile makes the copy start over, so it is always one consistent state.
        while ((rc = sqlite3_backup_step(backup, 256)) == SQLITE_OK || rc == SQLITE_BUSY ||
               rc == SQLITE_LOCKED)
            if (rc != SQLITE_OK)
                sqlite3_sleep(50);
        sqlite3_backup_finish(backup);
        if (rc != SQLITE_DONE) {
            QFile::remove(partial);
            db::ThrowEngineError(destination, rc);
        }
    }
    if (!QFile::rename(partial, target)) {
        QFile::remove(partial);
        throw db::Error(SQLITE_CANTOPEN, QStringLiteral("cannot write %1").arg(target));
    }
}

void Verify(db::Connection& connection) {
    const QStringList problems = Problems(connection);
    if (!problems.isEmpty())
        throw db::Error(SQLITE_CORRUPT, problems.join(QStringLiteral("; ")));
}

void CreateOnServer(db::Connection& connection) {
    db::Transaction transaction(connection);
    for (const QString& statement : shipowner::CreateServerTableStatements())
        connection.Execute(statement);
    transaction.commit();
}

void DropOnServer(db::Connection& connection) {
    connection.Execute(QStringLiteral("DROP TABLE IF EXISTS ") + shipowner::kTable);
}

} // namespace dbfile
