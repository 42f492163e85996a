#include "data/DatabaseFile.h"

#include "data/Connection.h"
#include "data/DbError.h"
#include "data/Engine.h"
#include "data/ShipOwnerTable.h"
#include "data/SqliteEngine.h"
#include "data/Statement.h"

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

void Verify(db::Connection& connection) {
    const QStringList problems = Problems(connection);
    if (!problems.isEmpty())
        throw db::Error(SQLITE_CORRUPT, problems.join(QStringLiteral("; ")));
}

} // namespace dbfile
