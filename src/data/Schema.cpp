#include "data/Schema.h"

#include "data/Connection.h"
#include "data/Engine.h"
#include "data/History.h"
#include "data/SearchKey.h"
#include "data/ShipOwnerTable.h"
#include "data/Transaction.h"

#include <QFileInfo>

namespace schema {

const QList<Step>& DirectorySteps() {
    static const QList<Step> steps = {
        {1,
         [](db::Connection& connection) {
             // Sorting by a column: the file sorts with a function of the program's own.
             if (connection.IsServer())
                 for (const QString& statement : shipowner::ServerListOrderStatements())
                     connection.Execute(statement);
         }},
        {2,
         [](db::Connection& connection) {
             // Every change kept from now on.
             for (const QString& statement :
                  connection.IsServer() ? history::ServerStatements() : history::FileStatements())
                 connection.Execute(statement);
         }},
        {3,
         [](db::Connection& connection) {
             // Searches that fold text and read pinyin.
             for (const QString& statement : connection.IsServer() ? searchkey::ServerStatements()
                                                                   : searchkey::FileStatements())
                 connection.Execute(statement);
             searchkey::BuildAll(connection.engine());
         }},
        {4,
         [](db::Connection& connection) {
             // A version keeps only what its change changed.
             history::KeepOnlyChangedFields(connection);
         }},
    };
    return steps;
}

int LatestVersion(const QList<Step>& steps) {
    return steps.isEmpty() ? 0 : steps.last().version;
}

UpgradeError::UpgradeError(const db::Error& cause, const QString& what)
    : db::Error(cause.kind(), QStringLiteral("%1: %2").arg(what, cause.message()),
                cause.engineCode()) {}

QString UpgradeBackupPath(const QString& file, int version) {
    const QString base = QStringLiteral("%1.before-upgrade-%2").arg(file).arg(version);
    // An earlier copy is never overwritten: it may hold what a later one lacks.
    QString path = base;
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = QStringLiteral("%1.%2").arg(base).arg(n);
    return path;
}

void BringUpToDate(db::Connection& connection, const QList<Step>& steps,
                   const std::function<void()>& beforeChanging) {
    db::Engine& engine = connection.engine();
    const int found = engine.SchemaVersion();
    const int latest = LatestVersion(steps);
    if (found > latest)
        throw db::Error(db::ErrorKind::NewerSchema,
                        QStringLiteral("the directory has layout version %1, made by a newer "
                                       "program; this one knows versions up to %2")
                            .arg(found)
                            .arg(latest));
    if (found == latest)
        return;
    if (beforeChanging)
        beforeChanging();
    if (engine.CanBackUp()) {
        try {
            engine.BackUp(UpgradeBackupPath(engine.Location(), found));
        } catch (const db::Error& error) {
            throw UpgradeError(error, QStringLiteral("no copy could be made before the upgrade"));
        }
    }
    try {
        db::Transaction transaction(connection, db::Transaction::Begin::Immediate);
        for (const Step& step : steps)
            if (step.version > found)
                step.apply(connection);
        engine.SetSchemaVersion(latest);
        transaction.commit();
    } catch (const db::Error& error) {
        throw UpgradeError(error, QStringLiteral("the upgrade from version %1 failed").arg(found));
    }
}

} // namespace schema
