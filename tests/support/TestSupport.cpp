#include "support/TestSupport.h"

#include "data/Connection.h"
#include "data/DatabaseFile.h"
#include "data/ShipOwnerTable.h"
#include "data/Statement.h"

#include <QDir>
#include <QStringList>

SystemDirFixture::SystemDirFixture(const QString& subPath)
    : previous_(qgetenv("ORVANDEL_SYSTEM_DIR")) {
    path_ = subPath.isEmpty() ? root_.path() : root_.filePath(subPath);
    QDir().mkpath(path_);
    qputenv("ORVANDEL_SYSTEM_DIR", path_.toLocal8Bit());
}

SystemDirFixture::~SystemDirFixture() {
    if (previous_.isEmpty())
        qunsetenv("ORVANDEL_SYSTEM_DIR");
    else
        qputenv("ORVANDEL_SYSTEM_DIR", previous_);
}

QString SystemDirFixture::databasePath() const {
    return dbfile::PathIn(path_);
}

void SystemDirFixture::CreateDatabase(db::Connection& connection) const {
    dbfile::Create(connection, databasePath());
}

qint64 InsertCompany(db::Connection& connection, const QMap<QString, QVariant>& values) {
    const QStringList columns = values.keys();
    db::Statement insert(
        connection.Handle(),
        QStringLiteral("INSERT INTO Orvandel (%1) VALUES (%2)")
            .arg(columns.join(QLatin1Char(',')),
                 QStringList(columns.size(), QStringLiteral("?")).join(QLatin1Char(','))));
    for (int i = 0; i < columns.size(); ++i)
        insert.Bind(i + 1, values.value(columns[i]));
    insert.Step();
    db::Statement last(connection.Handle(), QStringLiteral("SELECT last_insert_rowid()"));
    last.Step();
    return last.Column(0).toLongLong();
}

QVariant StoredValue(db::Connection& connection, qint64 id, const QString& column) {
    db::Statement select(connection.Handle(),
                         QStringLiteral("SELECT %1 FROM Orvandel WHERE id=?").arg(column));
    select.Bind(1, id);
    return select.Step() ? select.Column(0) : QVariant(QStringLiteral("<no row>"));
}

qint64 RowCount(db::Connection& connection) {
    db::Statement count(connection.Handle(), QStringLiteral("SELECT count(*) FROM Orvandel"));
    count.Step();
    return count.Column(0).toLongLong();
}
