#include "support/TestSupport.h"

#include "data/Connection.h"
#include "data/DatabaseFile.h"
#include "data/ShipOwnerTable.h"
#include "data/Statement.h"

#include <QDir>
#include <QFile>
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

QStringList BadFileKinds() {
    return {"zero bytes", "no table",       "missing column", "damaged pages",
            "text file",  "plain database", "wrong key",      "directory"};
}

void MakeBadFile(const QString& kind, const QString& path) {
    const auto makeTable = [&path](const QString& key, const QString& statement) {
        db::Connection connection;
        connection.OpenFile(path, key, true);
        connection.Execute(statement);
    };
    QFile file(path);
    if (kind == QLatin1String("zero bytes")) {
        file.open(QIODevice::WriteOnly);
    } else if (kind == QLatin1String("no table")) {
        makeTable(dbfile::kPassword, QStringLiteral("CREATE TABLE Other (x TEXT)"));
    } else if (kind == QLatin1String("missing column")) {
        makeTable(dbfile::kPassword,
                  shipowner::CreateTableStatement().remove(QStringLiteral(", fax TEXT")));
    } else if (kind == QLatin1String("damaged pages")) {
        {
            db::Connection connection;
            dbfile::Create(connection, path);
            for (int i = 0; i < 300; ++i)
                InsertCompany(connection,
                              {{QStringLiteral("adrress"), QString(40, QChar(0x6E2F))}});
        }
        // A stretch of garbage well past the first pages, where the rows are.
        file.open(QIODevice::ReadWrite);
        file.seek(file.size() - 5000);
        file.write(QByteArray(100, '\x5a'));
    } else if (kind == QLatin1String("text file")) {
        file.open(QIODevice::WriteOnly);
        file.write("company;country\n远洋航运;希腊\n");
    } else if (kind == QLatin1String("plain database")) {
        makeTable(QString(), shipowner::CreateTableStatement());
    } else if (kind == QLatin1String("wrong key")) {
        makeTable(QStringLiteral("another key"), shipowner::CreateTableStatement());
    } else if (kind == QLatin1String("directory")) {
        QDir().mkpath(path);
    }
}

void WriteLongRegistryValue(const QString& directory, qint64 bytes) {
    QFile file(directory + QStringLiteral("/system.reg"));
    file.open(QIODevice::WriteOnly);
    file.write("Windows Registry Editor Version 5.00\r\n\r\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test]\r\n\"Long\"=hex:");
    QByteArray text;
    text.reserve(bytes * 3 + bytes / 8);
    for (qint64 i = 0; i < bytes; ++i) {
        text += "6f";
        if (i + 1 < bytes)
            text += (i % 25 == 24) ? ",\\\r\n  " : ",";
    }
    file.write(text);
    file.write("\r\n\"After\"=\"found\"\r\n");
}
