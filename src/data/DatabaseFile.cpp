#include "data/DatabaseFile.h"

#include "data/Connection.h"
#include "data/Engine.h"
#include "data/Schema.h"
#include "data/ShipOwnerTable.h"
#include "data/Transaction.h"

#include <QFileInfo>

namespace dbfile {

QString PathIn(const QString& directory) {
    return directory + QLatin1Char('/') + kFileName;
}

void Create(db::Connection& connection, const QString& path) {
    if (QFileInfo::exists(path))
        throw db::Error(db::ErrorKind::CannotOpen, QStringLiteral("%1 exists already").arg(path));
    connection.OpenFile(path, kPassword, db::FileMode::Create);
    db::Transaction transaction(connection, db::Transaction::Begin::Immediate);
    connection.Execute(shipowner::CreateTableStatement());
    connection.engine().SetSchemaVersion(schema::LatestVersion());
    transaction.commit();
}

QList<Problem> Problems(db::Connection& connection) {
    using db::ErrorKind;
    db::Engine& engine = connection.engine();
    QList<Problem> problems;
    try {
        const int version = engine.SchemaVersion();
        const int latest = schema::LatestVersion();
        if (version > latest)
            problems.append({ErrorKind::NewerSchema,
                             QStringLiteral("the directory has layout version %1, made by a newer "
                                            "program; this one knows versions up to %2")
                                 .arg(version)
                                 .arg(latest)});
        const std::optional<QStringList> present = engine.TableColumns(shipowner::kTable);
        if (!present) {
            problems.append(
                {ErrorKind::NotADirectory,
                 QStringLiteral("the %1 has no table %2")
                     .arg(engine.IsServer() ? QStringLiteral("server") : QStringLiteral("file"),
                          shipowner::kTable)});
        } else {
            QStringList lower;
            for (const QString& name : *present)
                lower.append(name.toLower());
            for (const shipowner::Column& column : shipowner::ColumnTable())
                if (column.since <= version && !lower.contains(column.name.toLower()))
                    problems.append(
                        {ErrorKind::NotADirectory, QStringLiteral("the table %1 has no column %2")
                                                       .arg(shipowner::kTable, column.name)});
        }
    } catch (const db::Error& error) {
        // Not a fault of the directory: the server, or this account's rights.
        if (error.kind() == ErrorKind::ServerUnreachable ||
            error.kind() == ErrorKind::PermissionDenied)
            throw;
        problems.append(
            {error.kind() == ErrorKind::Damaged ? ErrorKind::Damaged : ErrorKind::NotADirectory,
             QStringLiteral("the table %1 cannot be read: %2")
                 .arg(shipowner::kTable, error.details())});
    }
    if (engine.CanCheckPages())
        for (const QString& damage : engine.CheckPages())
            problems.append({ErrorKind::Damaged, damage});
    return problems;
}

void Verify(db::Connection& connection) {
    const QList<Problem> problems = Problems(connection);
    if (problems.isEmpty())
        return;
    QStringList texts;
    for (const Problem& problem : problems)
        texts.append(problem.text);
    throw db::Error(problems.first().kind, texts.join(QStringLiteral("; ")));
}

void OpenDirectory(db::Connection& connection, const QString& connectionString) {
    connection.Open(connectionString, QString(), kPassword, -1, db::FileMode::ReadOnly);
    Verify(connection);
    if (!connection.engine().MayRead(shipowner::kTable))
        throw db::Error(
            db::ErrorKind::PermissionDenied,
            QStringLiteral("this account may not read the table %1").arg(shipowner::kTable));
    if (!connection.IsServer()) {
        connection.Close();
        connection.Open(connectionString, QString(), kPassword);
    }
    schema::BringUpToDate(connection);
}

void CreateOnServer(db::Connection& connection) {
    db::Transaction transaction(connection);
    for (const QString& statement : shipowner::CreateServerTableStatements())
        connection.Execute(statement);
    connection.engine().SetSchemaVersion(schema::LatestVersion());
    transaction.commit();
}

void DropOnServer(db::Connection& connection) {
    db::Transaction transaction(connection);
    connection.Execute(QStringLiteral("DROP TABLE IF EXISTS ") + shipowner::kTable);
    connection.Execute(QStringLiteral("DROP TABLE IF EXISTS ") + db::kServerSchemaTable);
    transaction.commit();
}

void Backup(db::Connection& connection, const QString& target) {
    db::Engine& engine = connection.engine();
    if (!engine.CanBackUp())
        throw db::Error(db::ErrorKind::Misuse,
                        QStringLiteral("the directory is on a server; back it up there"));
    engine.BackUp(target);
}

} // namespace dbfile
