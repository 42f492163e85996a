#include "data/DatabaseFile.h"

#include "data/Connection.h"
#include "data/Engine.h"
#include "data/History.h"
#include "data/PageCheck.h"
#include "data/Query.h"
#include "data/Schema.h"
#include "data/SearchKey.h"
#include "data/ShipOwnerTable.h"
#include "data/Transaction.h"

#include <QFile>
#include <QFileInfo>
#include <memory>

namespace dbfile {

QString PathIn(const QString& directory) {
    return directory + QLatin1Char('/') + kFileName;
}

void Create(db::Connection& connection, const QString& path) {
    if (QFileInfo::exists(path))
        throw db::Error(db::ErrorKind::CannotOpen, QStringLiteral("%1 exists already").arg(path));
    connection.OpenFile(path, kPassword, db::FileMode::Create);
    // Only its owner reads it, as a backup: the key is the program's, not the user's. The
    // engine gives its log files the same mode.
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    db::Transaction transaction(connection, db::Transaction::Begin::Immediate);
    connection.Execute(shipowner::CreateTableStatement());
    for (const QString& statement : history::FileStatements() + searchkey::FileStatements())
        connection.Execute(statement);
    connection.engine().SetSchemaVersion(schema::LatestVersion());
    transaction.commit();
}

QList<Problem> Problems(db::Connection& connection, Pages pages) {
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
    if (pages == Pages::Checked && engine.CanCheckPages())
        for (const QString& damage : engine.CheckPages())
            problems.append({ErrorKind::Damaged, damage});
    return problems;
}

void Verify(db::Connection& connection, Pages pages) {
    const QList<Problem> problems = Problems(connection, pages);
    if (problems.isEmpty())
        return;
    QStringList texts;
    for (const Problem& problem : problems)
        texts.append(problem.text);
    throw db::Error(problems.first().kind, texts.join(QStringLiteral("; ")));
}

std::shared_ptr<PageCheck> OpenDirectory(db::Connection& connection,
                                         const QString& connectionString, PageCheckTiming timing,
                                         const std::function<void()>& beforeUpgrade) {
    connection.Open(connectionString, QString(), kPassword, -1, db::FileMode::ReadOnly);
    const bool inBackground =
        timing == PageCheckTiming::InBackground && connection.engine().CanCheckPages();
    Verify(connection, inBackground ? Pages::Skipped : Pages::Checked);
    if (!connection.engine().MayRead(shipowner::kTable))
        throw db::Error(
            db::ErrorKind::PermissionDenied,
            QStringLiteral("this account may not read the table %1").arg(shipowner::kTable));
    std::shared_ptr<PageCheck> pages;
    if (!connection.IsServer()) {
        const QString path = connection.engine().Location();
        connection.Close();
        connection.Open(connectionString, QString(), kPassword);
        if (inBackground) {
            // Nothing is committed to a file whose pages may be damaged: an upgrade below waits
            // for the check, as a save does later.
            pages = std::make_shared<PageCheck>(path, kPassword);
            connection.SetCommitGate([pages] { pages->Await(); });
        }
    }
    schema::BringUpToDate(connection, schema::DirectorySteps(), beforeUpgrade);
    return pages;
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
    connection.Execute(QStringLiteral("DROP TABLE IF EXISTS ") + history::kTable);
    connection.Execute(QStringLiteral("DROP TABLE IF EXISTS ") + history::kWritersTable);
    connection.Execute(QStringLiteral("DROP TABLE IF EXISTS ") + searchkey::kTable);
    connection.Execute(QStringLiteral("DROP TABLE IF EXISTS ") + db::kServerSchemaTable);
    transaction.commit();
}

namespace {

constexpr qsizetype kRowsPerBatch = 2000;

// Copies every company, ids included, from one open directory into another inside the caller's
// transaction on the target; the rows are read by one statement, so they are of one moment.
void CopyCompanies(db::Connection& from, db::Connection& to) {
    const QStringList& columns = shipowner::Columns();
    from.PrepareForQuery();
    const std::unique_ptr<db::RowStream> rows =
        from.engine().Query(db::From(shipowner::kTable).Select(columns).OrderBy(shipowner::kId));
    QList<QVariantList> batch;
    const auto flush = [&] {
        to.engine().InsertRows(shipowner::kTable, columns, batch, shipowner::kId);
        batch.clear();
    };
    while (rows->Next()) {
        QVariantList row;
        row.reserve(columns.size());
        for (int i = 0; i < columns.size(); ++i)
            row.append(rows->Value(i));
        batch.append(row);
        if (batch.size() == kRowsPerBatch)
            flush();
    }
    if (!batch.isEmpty())
        flush();
}

void KeepPrivate(const QString& path) {
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
}

} // namespace

QString FreeName(const QString& name) {
    QString path = name;
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = QStringLiteral("%1.%2").arg(name).arg(n);
    return path;
}

void Backup(db::Connection& connection, const QString& target) {
    if (QFileInfo::exists(target))
        throw db::Error(db::ErrorKind::CannotOpen, QStringLiteral("%1 exists already").arg(target));
    db::Engine& engine = connection.engine();
    if (engine.CanBackUp()) {
        engine.BackUp(target);
        KeepPrivate(target);
        return;
    }
    const QString partial = target + QStringLiteral(".partial");
    QFile::remove(partial);
    try {
        db::Connection copy;
        Create(copy, partial);
        KeepPrivate(partial);
        db::Transaction transaction(copy, db::Transaction::Begin::Immediate);
        CopyCompanies(connection, copy);
        transaction.commit();
        copy.engine().Settle();
    } catch (...) {
        QFile::remove(partial);
        throw;
    }
    if (!QFile::rename(partial, target)) {
        QFile::remove(partial);
        throw db::Error(db::ErrorKind::CannotOpen, QStringLiteral("cannot write %1").arg(target));
    }
}

qint64 CompanyCount(db::Connection& connection) {
    connection.PrepareForQuery();
    const std::unique_ptr<db::RowStream> count =
        connection.engine().Query(QStringLiteral("SELECT count(*) FROM ") + shipowner::kTable);
    return count->Next() ? count->Value(0).toLongLong() : 0;
}

namespace {

// A backup file, opened for reading only, checked to be a sound directory.
void OpenBackup(db::Connection& backup, const QString& source) {
    backup.OpenFile(source, kPassword, db::FileMode::ReadOnly);
    Verify(backup);
}

} // namespace

void RestoreOnServer(db::Connection& connection, const QString& source) {
    db::Connection backup;
    OpenBackup(backup, source);
    db::Transaction transaction(connection, db::Transaction::Begin::Immediate);
    connection.Execute(QStringLiteral("DELETE FROM ") + shipowner::kTable);
    CopyCompanies(backup, connection);
    transaction.commit();
}

QString RestoreFile(const QString& path, const QString& source) {
    {
        db::Connection backup;
        OpenBackup(backup, source);
    }
    const QString partial = path + QStringLiteral(".restoring");
    QFile::remove(partial);
    if (!QFile::copy(source, partial))
        throw db::Error(db::ErrorKind::CannotOpen,
                        QStringLiteral("cannot copy %1 beside %2").arg(source, path));
    KeepPrivate(partial);
    const QString kept = FreeName(path + QStringLiteral(".before-restore"));
    {
        // Held alone until the files are swapped: no program opens the old file meanwhile.
        db::Connection current;
        try {
            current.OpenFile(path, kPassword, db::FileMode::Alone);
        } catch (...) {
            QFile::remove(partial);
            throw;
        }
        if (!QFile::rename(path, kept) || !QFile::rename(partial, path)) {
            QFile::remove(partial);
            throw db::Error(db::ErrorKind::CannotOpen,
                            QStringLiteral("cannot put %1 in the place of %2").arg(source, path));
        }
    }
    // The old file's log went with it when it was held alone; none may be replayed into the new.
    QFile::remove(path + QStringLiteral("-wal"));
    QFile::remove(path + QStringLiteral("-shm"));
    return kept;
}

} // namespace dbfile
