// Durability under kill -9: a child process saves in a loop through the program's data layer
// (adding companies and changing one), reporting each save once it has returned; the parent kills
// it at a random moment, then checks that every reported save is in the file and that the history
// agrees with the companies (every company has versions, the newest not a delete; each add is one
// insert with its name; the changed company's versions hold each of the round's telephones that
// reached the file, once and in order). At the end it runs the engine's full integrity check.
// Prints the counts.
//
//     build/bench/crash_durability [ROUNDS]     (500 when not given)
#include "data/Connection.h"
#include "data/DatabaseFile.h"
#include "data/History.h"
#include "data/Recordset.h"
#include "data/ShipOwnerTable.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <cstdio>
#include <random>

namespace {

const char kSaverFlag[] = "--saver";
const qint64 kChangedId = 1;

// Adds a company or changes the telephone of the first one, as the detail screen saves.
qint64 Save(db::Connection& connection, qint64 id, const QString& column, const QString& text) {
    db::Recordset rs;
    rs.Open(shipowner::RecordQuery(id), connection, db::adOpenKeyset, db::adLockPessimistic);
    if (rs.AtEnd())
        rs.AddNew();
    rs.SetField(column, text);
    rs.Update();
    return rs.Field(QStringLiteral("id")).toLongLong();
}

// Companies that have no version in the history, or whose newest version is a delete.
QString WithoutHistoryStatement() {
    return QStringLiteral("SELECT count(*) FROM Orvandel o WHERE NOT EXISTS (SELECT 1 FROM %1 h "
                          "WHERE h.company_id = o.id) OR (SELECT change FROM %1 h WHERE "
                          "h.company_id = o.id ORDER BY version DESC LIMIT 1) = 'd'")
        .arg(history::kTable);
}

// Whether the history of the changed company holds this round's telephones, each once and in
// order, up to the one stored: every save's version is there and rebuilds its record.
bool RoundInHistory(db::Connection& check, int round, int stored) {
    QStringList telephones;
    const QList<history::Version> versions = history::VersionsOf(check, kChangedId);
    for (auto version = versions.crbegin(); version != versions.crend(); ++version) {
        const QString tel = version->Text(QStringLiteral("tel"));
        if (tel.section(QLatin1Char('-'), 0, 0) == QString::number(round))
            telephones.append(tel);
    }
    for (int k = 1; k <= stored; ++k)
        if (telephones.value(k - 1) != QStringLiteral("%1-%2").arg(round).arg(k))
            return false;
    return telephones.size() == stored;
}

// Whether an added company has exactly one version, its insert, with the name it was given.
bool AddInHistory(db::Connection& check, qint64 id, const QString& name) {
    const QList<history::Version> versions = history::VersionsOf(check, id);
    return versions.size() == 1 && versions.first().change == QLatin1String("insert") &&
           versions.first().Text(QStringLiteral("公司名称")) == name;
}

int RunSaver(const QString& path, const QString& round) {
    db::Connection connection;
    connection.OpenFile(path, dbfile::kPassword);
    std::printf("ready\n");
    std::fflush(stdout);
    for (int k = 1;; ++k) {
        const QString name = QStringLiteral("%1-%2").arg(round).arg(k);
        const qint64 id = Save(connection, -1, QStringLiteral("公司名称"), name);
        std::printf("add %lld %s\n", static_cast<long long>(id), qPrintable(name));
        std::fflush(stdout);
        Save(connection, kChangedId, QStringLiteral("tel"), name);
        std::printf("change %s\n", qPrintable(name));
        std::fflush(stdout);
    }
}

QString Text(db::Connection& connection, const QString& sql) {
    db::Recordset rs;
    rs.Open(sql, connection);
    return rs.AtEnd() ? QString() : QString::fromUtf8(rs.FieldText(0));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.size() == 3 && arguments[0] == QLatin1String(kSaverFlag))
        return RunSaver(arguments[1], arguments[2]);
    const int rounds = arguments.isEmpty() ? 500 : arguments[0].toInt();
    QTemporaryDir dir;
    const QString path = dbfile::PathIn(dir.path());
    {
        db::Connection connection;
        dbfile::Create(connection, path);
        Save(connection, -1, QStringLiteral("公司名称"), QStringLiteral("changed in every round"));
    }
    std::mt19937 random(20261210);
    long long adds = 0, changes = 0, missingAdds = 0, lostChanges = 0, killedMidRound = 0;
    long long disagreeing = 0;
    for (int round = 1; round <= rounds; ++round) {
        QProcess saver;
        saver.start(QCoreApplication::applicationFilePath(),
                    {QString::fromLatin1(kSaverFlag), path, QString::number(round)});
        if (!saver.waitForStarted() || !saver.waitForReadyRead(30000)) {
            std::fprintf(stderr, "round %d: the saver did not start\n", round);
            return 1;
        }
        QThread::usleep(std::uniform_int_distribution<int>(0, 200000)(random));
        ::kill(static_cast<pid_t>(saver.processId()), SIGKILL);
        saver.waitForFinished();
        killedMidRound += saver.exitStatus() == QProcess::CrashExit ? 1 : 0;

        QString lastChange;
        QList<QPair<qint64, QString>> added;
        for (const QByteArray& line : saver.readAllStandardOutput().split('\n')) {
            const QList<QByteArray> parts = line.split(' ');
            if (parts.size() == 3 && parts[0] == "add")
                added.append({parts[1].toLongLong(), QString::fromUtf8(parts[2])});
            else if (parts.size() == 2 && parts[0] == "change")
                lastChange = QString::fromUtf8(parts[1]);
        }
        db::Connection check;
        check.OpenFile(path, dbfile::kPassword);
        for (const auto& [id, name] : added) {
            ++adds;
            const QString stored =
                Text(check, QStringLiteral("SELECT 公司名称 FROM Orvandel WHERE id=%1").arg(id));
            missingAdds += stored == name ? 0 : 1;
            disagreeing += AddInHistory(check, id, name) ? 0 : 1;
        }
        // The save after the last reported one may have been stored before the kill too.
        const QString stored = Text(check, QStringLiteral("SELECT tel FROM Orvandel WHERE id=1"));
        const bool sameRound = stored.section(QLatin1Char('-'), 0, 0) == QString::number(round);
        const int found = sameRound ? stored.section(QLatin1Char('-'), 1).toInt() : 0;
        if (!lastChange.isEmpty()) {
            ++changes;
            const int reported = lastChange.section(QLatin1Char('-'), 1).toInt();
            lostChanges += found == reported || found == reported + 1 ? 0 : 1;
        }
        disagreeing += RoundInHistory(check, round, found) ? 0 : 1;
        disagreeing += Text(check, WithoutHistoryStatement()).toLongLong();
    }
    db::Connection check;
    check.OpenFile(path, dbfile::kPassword);
    const QString integrity = Text(check, QStringLiteral("PRAGMA integrity_check"));
    std::printf(
        "rounds %d, killed while saving %lld; saves reported as done: %lld adds, %lld rounds "
        "with changes; missing adds %lld, lost changes %lld; disagreements between the history "
        "and the companies (summed over the rounds) %lld; rows %s, versions %s; integrity_check "
        "%s\n",
        rounds, killedMidRound, adds, changes, missingAdds, lostChanges, disagreeing,
        qPrintable(Text(check, QStringLiteral("SELECT count(*) FROM Orvandel"))),
        qPrintable(Text(check, QStringLiteral("SELECT count(*) FROM ") + history::kTable)),
        qPrintable(integrity));
    return missingAdds == 0 && lostChanges == 0 && disagreeing == 0 &&
                   integrity == QLatin1String("ok")
               ? 0
               : 1;
}
