// What keeping every change costs: a save as the detail screen makes it, and an import of
// 100,000 companies, each with the history's triggers and without them (dropped from a twin
// directory), in turns in one process; then the history's size after every company changed ten
// times, against the directory's own; then, on the file, the first opening of the same
// history as the history's first layout kept it, which rewrites it.
//
//   history_cost [--server CONNINFO] [--companies N] [--repeat R]
//
// On a server it REPLACES the ship-owner table and its history there: give it a throw-away one.
// Prints medians of R turns (7 unless told), with the spread.
#include "EmptyDirectory.h"
#include "ProcessMemory.h"
#include "data/Connection.h"
#include "data/DatabaseFile.h"
#include "data/History.h"
#include "data/Recordset.h"
#include "data/SearchKey.h"
#include "data/ServerConfig.h"
#include "data/ShipOwnerTable.h"
#include "data/Transaction.h"
#include "exchange/DirectoryExport.h"
#include "exchange/DirectoryImport.h"
#include "tools/DemoDirectory.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

struct Series {
    std::vector<double> values;
    double Median() const {
        std::vector<double> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        return sorted[sorted.size() / 2];
    }
    QString Text() const {
        const auto [low, high] = std::minmax_element(values.begin(), values.end());
        return QStringLiteral("%1 ms (%2-%3)")
            .arg(Median(), 0, 'f', 2)
            .arg(*low, 0, 'f', 2)
            .arg(*high, 0, 'f', 2);
    }
};

double Time(const std::function<void()>& work) {
    QElapsedTimer clock;
    clock.start();
    work();
    return clock.nsecsElapsed() / 1e6;
}

QString Text(db::Connection& connection, const QString& sql) {
    db::Recordset rs;
    rs.Open(sql, connection);
    return rs.AtEnd() ? QString() : QString::fromUtf8(rs.FieldText(0));
}

// One directory: the file in a folder of its own, or the server's table.
class Directory {
public:
    Directory(const QString& server, bool withHistory) : server_(server) {
        MakeEmptyDirectory(connection, server, dir_.path());
        if (!withHistory)
            for (const char* event : {"insert", "update", "renumber", "delete"})
                connection.Execute(
                    QStringLiteral("DROP TRIGGER IF EXISTS orvandel_history_%1%2")
                        .arg(QString::fromLatin1(event),
                             server.isEmpty() ? QString() : QStringLiteral(" ON Orvandel")));
    }
    QString Path() const { return dbfile::PathIn(dir_.path()); }
    // A save of one company's telephone, as the detail screen makes it.
    void Save(qint64 id, const QString& tel) {
        db::Recordset rs;
        rs.Open(shipowner::RecordQuery(id), connection, db::adOpenKeyset, db::adLockPessimistic);
        rs.SetField(QStringLiteral("tel"), tel);
        rs.Update();
    }
    void Empty() { connection.Execute(QStringLiteral("DELETE FROM Orvandel")); }

    db::Connection connection;

private:
    QTemporaryDir dir_;
    QString server_;
};

// The same ten changes of every company as the history's first layout kept them (the whole
// record each time), then the first opening by this program, which rewrites them: its time and
// the memory it took at most.
void MeasureUpgrade(db::Connection& connection, const QString& path) {
    const QStringList columns = history::ValueColumns();
    QList<QVariantList> companies;
    {
        connection.PrepareForQuery();
        const std::unique_ptr<db::RowStream> rows = connection.engine().Query(
            db::From(shipowner::kTable).Select(QStringList{shipowner::kId} + columns));
        while (rows->Next()) {
            QVariantList values;
            for (int i = 0; i <= columns.size(); ++i)
                values.append(rows->Value(i));
            companies.append(values);
        }
    }
    const int otherNo = int(columns.indexOf(QStringLiteral("Other_No")));
    {
        db::Transaction transaction(connection);
        for (const char* event : {"insert", "update", "renumber", "delete"})
            connection.Execute(QStringLiteral("DROP TRIGGER IF EXISTS orvandel_history_%1")
                                   .arg(QString::fromLatin1(event)));
        for (const QString& table :
             {history::kTable, history::kWritersTable, history::kWriterTable})
            connection.Execute(QStringLiteral("DROP TABLE ") + table);
        connection.Execute(QStringLiteral("CREATE TABLE %1 (version INTEGER PRIMARY KEY "
                                          "AUTOINCREMENT, company_id INTEGER, change TEXT, "
                                          "changed_at INTEGER, who TEXT, %2)")
                               .arg(history::kTable, columns.join(QStringLiteral(", "))));
        connection.Execute(QStringLiteral("CREATE INDEX orvandel_history_company ON %1 "
                                          "(company_id, version)")
                               .arg(history::kTable));
        connection.Execute(QStringLiteral("CREATE TABLE %1 (who TEXT)").arg(history::kWriterTable));
        connection.Execute(
            QStringLiteral("INSERT INTO %1 VALUES (NULL)").arg(history::kWriterTable));
        const QStringList own = {QStringLiteral("company_id"), QStringLiteral("change"),
                                 QStringLiteral("changed_at"), QStringLiteral("who")};
        const qint64 at = QDateTime::currentMSecsSinceEpoch();
        QList<QVariantList> versions;
        for (const QVariantList& company : companies) {
            QVariantList values = company.mid(1);
            const qint64 now = values[otherNo].toLongLong();
            for (int change = 0; change <= 10; ++change) {
                values[otherNo] = now - 10 + change;
                versions.append(
                    QVariantList{company[0],
                                 change == 0 ? QStringLiteral("insert") : QStringLiteral("update"),
                                 at + change, QStringLiteral("clerk (desk1@office)")} +
                    values);
            }
            if (versions.size() >= 50000) {
                connection.engine().InsertRows(history::kTable, own + columns, versions, QString());
                versions.clear();
            }
        }
        connection.engine().InsertRows(history::kTable, own + columns, versions, QString());
        connection.engine().SetSchemaVersion(3);
        transaction.commit();
    }
    connection.Close();
    ResetPeakMemory();
    const long before = StatusKb("VmRSS:");
    const double opened = Time([&] {
        dbfile::OpenDirectory(connection,
                              serverconf::ConnectionStringFor(QFileInfo(path).absolutePath()));
    });
    std::printf("  upgrade  first opening of %lld companies' %lld versions as the first layout "
                "kept them: %.0f ms, +%.1f MB at most\n",
                static_cast<long long>(companies.size()),
                static_cast<long long>(companies.size()) * 11, opened,
                (StatusKb("VmHWM:") - before) / 1024.0);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString server;
    int companies = 100000;
    int repeat = 7;
    const QStringList arguments = app.arguments();
    for (int i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == QStringLiteral("--server"))
            server = arguments[i + 1];
        else if (arguments[i] == QStringLiteral("--companies"))
            companies = arguments[i + 1].toInt();
        else if (arguments[i] == QStringLiteral("--repeat"))
            repeat = std::max(3, arguments[i + 1].toInt());
    }
    const char* engine = server.isEmpty() ? "file" : "server";
    QTemporaryDir work;
    const QString csv = QDir(work.path()).filePath(QStringLiteral("companies.csv"));
    {
        Directory source(QString(), false);
        DemoDirectory(7).AddTo(source.connection, companies);
        exchange::ExportDirectory(source.connection, csv, exchange::FileFormat::Csv);
    }
    // Imports as new companies: without the id column.
    {
        QFile file(csv);
        file.open(QIODevice::ReadOnly);
        QByteArray bytes = file.readAll();
        file.close();
        QList<QByteArray> lines = bytes.mid(3).split('\n');
        for (QByteArray& line : lines)
            line = line.mid(line.indexOf(',') + 1);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(lines.join('\n'));
    }
    exchange::ImportOptions options;
    options.allowDuplicates = true; // generated names may repeat

    // A fresh directory for each import: on a server the one table is made again each time.
    Series saveWith, saveWithout, importWith, importWithout;
    for (int turn = 0; turn < repeat; ++turn) {
        for (const bool withHistory : {true, false}) {
            Directory directory(server, withHistory);
            const double imported =
                Time([&] { exchange::ImportCsv(directory.connection, csv, options); });
            (withHistory ? importWith : importWithout).values.push_back(imported);
            Series saves;
            for (int i = 0; i < 20; ++i)
                saves.values.push_back(Time(
                    [&] { directory.Save(1 + i, QStringLiteral("+30 %1 %2").arg(turn).arg(i)); }));
            (withHistory ? saveWith : saveWithout).values.push_back(saves.Median());
        }
    }
    std::printf("%s, %d companies, %d turns\n", engine, companies, repeat);
    std::printf("  save     with history %s, without %s: %.2f x\n", qPrintable(saveWith.Text()),
                qPrintable(saveWithout.Text()), saveWith.Median() / saveWithout.Median());
    std::printf("  import   with history %s, without %s: %.2f x\n", qPrintable(importWith.Text()),
                qPrintable(importWithout.Text()), importWith.Median() / importWithout.Median());

    // Every company changed ten times: the history against the directory's own size.
    Directory directory(server, true);
    exchange::ImportCsv(directory.connection, csv, options);
    for (int round = 1; round <= 10; ++round)
        directory.connection.Execute(
            QStringLiteral("UPDATE Orvandel SET Other_No = coalesce(Other_No, 0) + 1"));
    double historyBytes = 0;
    double directoryBytes = 0;
    if (server.isEmpty()) {
        directory.connection.Execute(QStringLiteral("VACUUM"));
        const double whole = QFileInfo(directory.Path()).size();
        directory.connection.Execute(QStringLiteral("DELETE FROM ") + history::kTable);
        directory.connection.Execute(QStringLiteral("VACUUM"));
        historyBytes = whole - QFileInfo(directory.Path()).size();
        // The companies alone, as on a server: without their search keys either.
        directory.connection.Execute(QStringLiteral("DELETE FROM ") + searchkey::kTable);
        directory.connection.Execute(QStringLiteral("VACUUM"));
        directoryBytes = QFileInfo(directory.Path()).size();
    } else {
        directory.connection.Execute(QStringLiteral("VACUUM FULL"));
        historyBytes =
            Text(directory.connection,
                 QStringLiteral("SELECT pg_total_relation_size('%1')").arg(history::kTable))
                .toDouble();
        directoryBytes =
            Text(directory.connection, QStringLiteral("SELECT pg_total_relation_size('orvandel')"))
                .toDouble();
    }
    std::printf("  size     directory %.1f MB, history of %d versions %.1f MB: %.2f x\n",
                directoryBytes / 1e6, companies * 11, historyBytes / 1e6,
                historyBytes / directoryBytes);
    if (server.isEmpty())
        MeasureUpgrade(directory.connection, directory.Path());
    return 0;
}
