// The database tool as a user runs it, checked with the sqlcipher shell and with the program's
// own data layer.
#include "data/Connection.h"
#include "data/DatabaseFile.h"
#include "data/Recordset.h"
#include "data/Schema.h"
#include "data/ServerConfig.h"
#include "data/ShipOwnerTable.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

namespace {

QString Sqlcipher(const QString& path, const QString& sql) {
    QProcess shell;
    shell.start(QStringLiteral("sqlcipher"), {path});
    shell.write(
        (QStringLiteral("PRAGMA key='%1';\n").arg(dbfile::kPassword) + sql + "\n").toUtf8());
    shell.closeWriteChannel();
    shell.waitForFinished(30000);
    return QString::fromUtf8(shell.readAllStandardOutput()).trimmed();
}

QStringList AllRows(const QString& path) {
    db::Connection connection;
    connection.OpenFile(path, dbfile::kPassword);
    db::Recordset rs;
    rs.Open(QStringLiteral("select * from Orvandel order by id"), connection);
    QStringList rows;
    for (; !rs.AtEnd(); rs.MoveNext()) {
        QStringList values;
        for (const QString& column : shipowner::Columns())
            values << shipowner::ValueText(rs.Field(column));
        rows << values.join(QLatin1Char('|'));
    }
    return rows;
}

} // namespace

class TestTool : public QObject {
    Q_OBJECT
private slots:
    void sqlcipherReadsWhatDemoWrote();
    void fileKeepsTheThreeXFormat();
    void sameSeedSameCompanies();
    void initRefusesToOverwrite();
    void backupIsConsistentWhileTheProgramSaves();
    void sysinfoWritesTheRegistryFile();
    void checkSaysWhatIsWrong_data();
    void checkSaysWhatIsWrong();
    void badArguments_data();
    void badArguments();
    void serverIsWrittenOnlyAfterItAnswers_data();
    void serverIsWrittenOnlyAfterItAnswers();
    void localAndWhereSayWhichIsInUse();
    void importIsRefusedToAnAccountThatMayOnlyRead();
    void exportThatCannotBeWrittenSaysWhyInItsOwnWords_data();
    void exportThatCannotBeWrittenSaysWhyInItsOwnWords();
    void backupAndRestoreGiveBackTheSameDirectory_data();
    void backupAndRestoreGiveBackTheSameDirectory();
    void serverDirectoryIsReplacedOnlyWhenItsCountIsGiven();
};

void TestTool::sqlcipherReadsWhatDemoWrote() {
    QTemporaryDir dir;
    const QString systemDir = dir.filePath(QStringLiteral("made/by/init"));
    QCOMPARE(RunTool(systemDir, {"init"}).exitCode, 0);
    QCOMPARE(RunTool(systemDir, {"demo", "500"}).exitCode, 0);
    const QString path = dbfile::PathIn(systemDir);
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                      QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    QCOMPARE(QFileInfo(path).permissions() & others, QFile::Permissions());
    QCOMPARE(Sqlcipher(path, QStringLiteral("select count(*) from Orvandel;")),
             QStringLiteral("500"));
    QStringList columns;
    for (const QString& line :
         Sqlcipher(path, QStringLiteral("PRAGMA table_info(Orvandel);")).split('\n'))
        columns << line.section(QLatin1Char('|'), 1, 1);
    QCOMPARE(columns, shipowner::Columns());
    // Without the key the file is unreadable.
    QProcess plain;
    plain.start(QStringLiteral("sqlcipher"), {path, "select count(*) from Orvandel;"});
    plain.waitForFinished(30000);
    QVERIFY(plain.exitCode() != 0 || !plain.readAllStandardOutput().contains("500"));

    const QStringList rows = AllRows(path);
    QCOMPARE(rows.size(), 500);
    int withEmptyFax = 0;
    int englishNames = 0;
    for (const QString& row : rows) {
        const QStringList values = row.split(QLatin1Char('|'));
        QVERIFY(!values[1].isEmpty() && !values[2].isEmpty() && !values[4].isEmpty());
        withEmptyFax += values[5].isEmpty();
        englishNames += values[1].at(0).unicode() < 128;
    }
    QVERIFY2(withEmptyFax > 20 && withEmptyFax < 150, qPrintable(QString::number(withEmptyFax)));
    QVERIFY2(englishNames > 30 && englishNames < 250, qPrintable(QString::number(englishNames)));
}

void TestTool::fileKeepsTheThreeXFormat() {
    // The settings of the 3.x format spelled out, as a later engine needs them; a file in any
    // other format is not readable with them.
    QTemporaryDir dir;
    QCOMPARE(RunTool(dir.path(), {"init"}).exitCode, 0);
    QCOMPARE(RunTool(dir.path(), {"demo", "20"}).exitCode, 0);
    const QString settings = QStringLiteral("PRAGMA cipher_page_size = 1024;\n"
                                            "PRAGMA kdf_iter = 64000;\n"
                                            "PRAGMA cipher_use_hmac = ON;\n");
    QCOMPARE(Sqlcipher(dbfile::PathIn(dir.path()), settings + "select count(*) from Orvandel;"),
             QStringLiteral("20"));
}

void TestTool::sameSeedSameCompanies() {
    QTemporaryDir a;
    QTemporaryDir b;
    QTemporaryDir c;
    for (QTemporaryDir* dir : {&a, &b, &c})
        QCOMPARE(RunTool(dir->path(), {"init"}).exitCode, 0);
    QCOMPARE(RunTool(a.path(), {"demo", "50", "--seed", "9"}).exitCode, 0);
    QCOMPARE(RunTool(b.path(), {"demo", "50", "--seed", "9"}).exitCode, 0);
    QCOMPARE(RunTool(c.path(), {"demo", "50", "--seed", "10"}).exitCode, 0);
    QCOMPARE(AllRows(dbfile::PathIn(a.path())), AllRows(dbfile::PathIn(b.path())));
    QVERIFY(AllRows(dbfile::PathIn(a.path())) != AllRows(dbfile::PathIn(c.path())));
}

void TestTool::initRefusesToOverwrite() {
    QTemporaryDir dir;
    QCOMPARE(RunTool(dir.path(), {"init"}).exitCode, 0);
    QCOMPARE(RunTool(dir.path(), {"demo", "3"}).exitCode, 0);
    const ToolRun again = RunTool(dir.path(), {"init"});
    QCOMPARE(again.exitCode, 1);
    QVERIFY(again.err.contains(QLatin1String("--force")));
    QCOMPARE(AllRows(dbfile::PathIn(dir.path())).size(), 3);
    QCOMPARE(RunTool(dir.path(), {"init", "--force"}).exitCode, 0);
    QCOMPARE(AllRows(dbfile::PathIn(dir.path())).size(), 0);
}

void TestTool::backupIsConsistentWhileTheProgramSaves() {
    QTemporaryDir dir;
    QCOMPARE(RunTool(dir.path(), {"init"}).exitCode, 0);
    QCOMPARE(RunTool(dir.path(), {"demo", "200"}).exitCode, 0);
    // The program is running: one save is done (still in the log beside the file), another is
    // under way.
    db::Connection running;
    running.OpenFile(dbfile::PathIn(dir.path()), dbfile::kPassword);
    InsertCompany(running, {{QStringLiteral("公司名称"), QStringLiteral("已保存")}});
    running.Execute(QStringLiteral("BEGIN IMMEDIATE"));
    InsertCompany(running, {{QStringLiteral("公司名称"), QStringLiteral("保存中")}});

    const QString target = dir.filePath(QStringLiteral("copy.bcd"));
    const ToolRun run = RunTool(dir.path(), {"backup", target});
    QCOMPARE(run.exitCode, 0);
    const QStringList rows = AllRows(target);
    QCOMPARE(rows.size(), 201);
    QVERIFY(rows.last().contains(QStringLiteral("已保存")));
    QVERIFY(!QFile::exists(target + QStringLiteral(".partial")));
    running.Execute(QStringLiteral("COMMIT"));

    const ToolRun again = RunTool(dir.path(), {"backup", target});
    QCOMPARE(again.exitCode, 1);
    QVERIFY(again.err.contains(QLatin1String("exists already")));
    QCOMPARE(AllRows(target).size(), 201);
}

void TestTool::sysinfoWritesTheRegistryFile() {
    QTemporaryDir dir;
    QCOMPARE(RunTool(dir.path(), {"sysinfo", "/bin/true"}).exitCode, 0);
    QCOMPARE(RunTool(dir.path(), {"sysinfo", "/bin/false"}).exitCode, 1);
    QCOMPARE(RunTool(dir.path(), {"sysinfo", "/no/such/program", "--force"}).exitCode, 1);
    qputenv("ORVANDEL_SYSTEM_DIR", dir.path().toLocal8Bit());
    platform::HKEY key = 0;
    QCOMPARE(platform::RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE,
                                     "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", 0, 0x2003F, &key),
             long(platform::ERROR_SUCCESS));
    char data[64] = {};
    unsigned size = sizeof data;
    unsigned type = 0;
    QCOMPARE(platform::RegQueryValueExA(key, "PATH", nullptr, &type,
                                        reinterpret_cast<unsigned char*>(data), &size),
             long(platform::ERROR_SUCCESS));
    platform::RegCloseKey(key);
    qunsetenv("ORVANDEL_SYSTEM_DIR");
    QCOMPARE(type, unsigned(platform::REG_SZ));
    QCOMPARE(QByteArray(data, size), QByteArray("/bin/true", 10));
    QCOMPARE(RunTool(dir.path(), {"sysinfo", "/bin/false", "--force"}).exitCode, 0);
}

void TestTool::checkSaysWhatIsWrong_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("words");
    const QString notOurs =
        QStringLiteral("not encrypted with this program's key, or it is no database");
    QTest::newRow("sound")
        << "sound" << QStringLiteral("sound, layout version %1").arg(schema::LatestVersion());
    QTest::newRow("zero bytes") << "zero bytes"
                                << "has no table Orvandel";
    QTest::newRow("no table") << "no table"
                              << "has no table Orvandel";
    QTest::newRow("missing column") << "missing column"
                                    << "the table Orvandel has no column fax";
    QTest::newRow("damaged pages") << "damaged pages"
                                   << "the file is damaged";
    QTest::newRow("text file") << "text file" << notOurs;
    QTest::newRow("plain database") << "plain database" << notOurs;
    QTest::newRow("wrong key") << "wrong key" << notOurs;
    QTest::newRow("directory") << "directory"
                               << "cannot be opened";
    QTest::newRow("newer layout") << "newer layout"
                                  << "layout version 99, made by a newer program";
}

void TestTool::checkSaysWhatIsWrong() {
    QFETCH(QString, kind);
    QFETCH(QString, words);
    QTemporaryDir dir;
    const QString path = dbfile::PathIn(dir.path());
    if (kind == QLatin1String("sound")) {
        QCOMPARE(RunTool(dir.path(), {"init"}).exitCode, 0);
        QCOMPARE(RunTool(dir.path(), {"demo", "50"}).exitCode, 0);
    } else {
        MakeBadFile(kind, path);
    }
    const QByteArray before = FileHash(path);
    const ToolRun run = RunTool(dir.path(), {"check"});
    QCOMPARE(run.exitCode, kind == QLatin1String("sound") ? 0 : 1);
    QVERIFY2((run.out + run.err).contains(words), qPrintable(run.out + run.err));
    // The same file named on the command line.
    QCOMPARE(RunTool(QStringLiteral("/nonexistent"), {"check", path}).exitCode, run.exitCode);
    // A check only reads: not a byte of the file changes, whatever it finds.
    QCOMPARE(FileHash(path), before);
}

void TestTool::badArguments_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("no command") << QStringList() << 2;
    QTest::newRow("unknown command") << QStringList{"drop"} << 2;
    QTest::newRow("count not a number") << QStringList{"demo", "many"} << 2;
    QTest::newRow("negative count") << QStringList{"demo", "-5"} << 2;
    QTest::newRow("seed without value") << QStringList{"demo", "5", "--seed"} << 2;
    QTest::newRow("demo before init") << QStringList{"demo", "5"} << 1;
    QTest::newRow("help") << QStringList{"--help"} << 0;
}

void TestTool::badArguments() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QTemporaryDir dir;
    const ToolRun run = RunTool(dir.path(), arguments);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY((run.out + run.err).contains(QLatin1String("usage:")) || exitCode == 1);
    QVERIFY(!QFile::exists(dbfile::PathIn(dir.path())));
}

void TestTool::serverIsWrittenOnlyAfterItAnswers_data() {
    // The server named, and what the tool says when it refuses it; empty when it takes it.
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("refusal");
    const QString server = qEnvironmentVariable("ORVANDEL_TEST_SERVER");
    const QString password = QStringLiteral("holds a password");
    const QString refused = QStringLiteral("the server refused the connection");
    QTest::newRow("connection string") << server << QString();
    QTest::newRow("URI") << TestServerUri() << QString();
    QTest::newRow("password keyword") << server + QStringLiteral(" password=secret") << password;
    QTest::newRow("password in the URI") << TestServerUri(QStringLiteral("secret")) << password;
    QTest::newRow("password as a URI parameter")
        << TestServerUri() + QStringLiteral("?password=secret") << password;
    QTest::newRow("no server at the port")
        << QStringLiteral("host=127.0.0.1 port=1 dbname=orvandel_test connect_timeout=20")
        << refused +
               QStringLiteral(
                   ": connection to server at \"127.0.0.1\", port 1 failed: Connection refused");
    QTest::newRow("unknown user") << server + QStringLiteral(" user=nobody_here")
                                  << QStringLiteral("role \"nobody_here\" does not exist");
    QTest::newRow("not a connection string")
        << QStringLiteral("host=127.0.0.1 port") << QStringLiteral("not a connection string");
}

void TestTool::serverIsWrittenOnlyAfterItAnswers() {
    QFETCH(QString, server);
    QFETCH(QString, refusal);
    QVERIFY2(HasTestServer(), kNeedsTestServer);
    // Into a directory without server.conf, and over one that names another server.
    const QString before = QStringLiteral("host=before.example dbname=directory\n");
    for (const bool existing : {false, true}) {
        QTemporaryDir dir;
        QFile conf(serverconf::PathIn(dir.path()));
        if (existing) {
            QVERIFY(conf.open(QIODevice::WriteOnly));
            conf.write(before.toUtf8());
            conf.close();
        }
        const ToolRun run = RunTool(dir.path(), {"server", server});
        if (refusal.isEmpty()) {
            QCOMPARE(run.exitCode, 0);
            QVERIFY(conf.open(QIODevice::ReadOnly));
            QCOMPARE(QString::fromUtf8(conf.readAll()), server + QLatin1Char('\n'));
            continue;
        }
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.startsWith(QStringLiteral("orvandel-db: not written: ")),
                 qPrintable(run.err));
        QVERIFY2(run.err.contains(refusal), qPrintable(run.err));
        QCOMPARE(conf.exists(), existing);
        if (existing) {
            QVERIFY(conf.open(QIODevice::ReadOnly));
            QCOMPARE(QString::fromUtf8(conf.readAll()), before);
        }
    }
}

void TestTool::localAndWhereSayWhichIsInUse() {
    QVERIFY2(HasTestServer(), kNeedsTestServer);
    QTemporaryDir dir;
    const QString file = dbfile::PathIn(dir.path()) + QLatin1Char('\n');
    QCOMPARE(RunTool(dir.path(), {"where"}).out, file);
    QCOMPARE(RunTool(dir.path(), {"server", TestServerUri()}).exitCode, 0);
    const ToolRun onServer = RunTool(dir.path(), {"where"});
    QCOMPARE(onServer.exitCode, 0);
    QCOMPARE(onServer.out, QStringLiteral("server ") + TestServerUri() + QLatin1Char('\n'));
    for (int time = 0; time < 2; ++time) { // the second time there is nothing to remove
        QCOMPARE(RunTool(dir.path(), {"server", "--local"}).exitCode, 0);
        QVERIFY(!QFile::exists(serverconf::PathIn(dir.path())));
        QCOMPARE(RunTool(dir.path(), {"where"}).out, file);
    }
    // A password put into server.conf by hand is refused, with the reason.
    QFile conf(serverconf::PathIn(dir.path()));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write(TestServerUri(QStringLiteral("secret")).toUtf8());
    conf.close();
    for (const QStringList& arguments : {QStringList{"where"}, QStringList{"demo", "1"}}) {
        const ToolRun refused = RunTool(dir.path(), arguments);
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(refused.err.contains(QLatin1String("holds a password")), qPrintable(refused.err));
        QVERIFY(refused.out.isEmpty());
    }
}

void TestTool::exportThatCannotBeWrittenSaysWhyInItsOwnWords_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("fullDisk"); // else the largest file the process may write is small
    QTest::addColumn<QString>("cause");
    QTest::newRow("workbook, full disk") << "out.xlsx" << true << "the disk is full";
    QTest::newRow("CSV, full disk") << "out.csv" << true << "the disk is full";
    QTest::newRow("workbook, short sheet") << "out.xlsx" << false << "without all its rows";
    QTest::newRow("CSV, short file") << "out.csv" << false << QString();
}

// Writing stops part way; the tool says it could not write the file and why in one line of its
// own, the workbook library's own lines stay off the terminal, and nothing is left behind.
void TestTool::exportThatCannotBeWrittenSaysWhyInItsOwnWords() {
    QFETCH(QString, name);
    QFETCH(bool, fullDisk);
    QFETCH(QString, cause);
    QTemporaryDir dir;
    QCOMPARE(RunTool(dir.path(), {"init"}).exitCode, 0);
    QCOMPARE(RunTool(dir.path(), {"demo", "3000"}).exitCode, 0); // a workbook of about 290 KB
    QTemporaryDir target;
    if (fullDisk && QProcess::execute(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "size=128k",
                                                                "tmpfs", target.path()}) != 0)
        QSKIP("a small file system cannot be mounted here");
    const auto unmount = qScopeGuard([&] {
        if (fullDisk)
            QProcess::execute(QStringLiteral("umount"), {target.path()});
    });
    const QString path = target.filePath(name);
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORVANDEL_SYSTEM_DIR"), dir.path());
    tool.setProcessEnvironment(env);
    // Else files of at most 64 KB, the signal for a longer one ignored so that the write fails:
    // the library's own temporary file of the sheet's rows fails first, which it does not notice.
    tool.start(QStringLiteral("bash"),
               {"-c",
                fullDisk ? "exec \"$0\" \"$@\"" : "trap '' XFSZ; ulimit -f 64; exec \"$0\" \"$@\"",
                ORVANDEL_DB_BIN, "export", path});
    QVERIFY(tool.waitForFinished(120000));
    const QString errors = QString::fromUtf8(tool.readAllStandardError());
    QCOMPARE(tool.exitCode(), 1);
    QVERIFY2(errors.startsWith(QStringLiteral("orvandel-db: %1: ").arg(path)) &&
                 errors.contains(cause),
             qPrintable(errors));
    QCOMPARE(errors.count(QLatin1Char('\n')), 1);
    QCOMPARE(QDir(target.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TestTool::importIsRefusedToAnAccountThatMayOnlyRead() {
    QVERIFY2(HasTestServer(), kNeedsTestServer);
    db::Connection owner;
    owner.Open(serverconf::ServerConnectionString(TestServer()), QString(), QString());
    dbfile::DropOnServer(owner);
    dbfile::CreateOnServer(owner);
    owner.Execute(QStringLiteral("DO $$BEGIN CREATE ROLE orvandel_reader LOGIN; EXCEPTION WHEN "
                                 "duplicate_object THEN NULL; END$$"));
    owner.Execute(QStringLiteral("GRANT SELECT ON Orvandel, orvandel_schema TO orvandel_reader"));
    QTemporaryDir dir;
    QCOMPARE(RunTool(dir.path(), {"server", TestServer() + " user=orvandel_reader"}).exitCode, 0);
    const QString csv = dir.filePath(QStringLiteral("companies.csv"));
    QFile file(csv);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("公司名称,国家\n远洋航运,中国\n");
    file.close();
    const ToolRun run = RunTool(dir.path(), {"import", csv});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QLatin1String("may only read")) &&
                 run.err.contains(QLatin1String("nothing was read")),
             qPrintable(run.err));
    QCOMPARE(RowCount(owner), 0);
    // Reading is what the account may do.
    QCOMPARE(RunTool(dir.path(), {"export", dir.filePath(QStringLiteral("out.csv"))}).exitCode, 0);
}

namespace {
QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A system directory on the server the test command started, emptied.
void UseEmptyServer(const QString& directory) {
    QCOMPARE(RunTool(directory, {"server", TestServer()}).exitCode, 0);
    db::Connection owner;
    owner.Open(serverconf::ServerConnectionString(TestServer()), QString(), QString());
    dbfile::DropOnServer(owner);
    dbfile::CreateOnServer(owner);
}
} // namespace

void TestTool::backupAndRestoreGiveBackTheSameDirectory_data() {
    QTest::addColumn<bool>("server");
    QTest::newRow("file") << false;
    QTest::newRow("server") << true;
}

void TestTool::backupAndRestoreGiveBackTheSameDirectory() {
    QFETCH(bool, server);
    QTemporaryDir dir;
    const QString path = dbfile::PathIn(dir.path());
    if (server) {
        QVERIFY2(HasTestServer(), kNeedsTestServer);
        UseEmptyServer(dir.path());
    } else {
        QCOMPARE(RunTool(dir.path(), {"init"}).exitCode, 0);
    }
    QCOMPARE(RunTool(dir.path(), {"demo", "300", "--seed", "3"}).exitCode, 0);
    const QString before = dir.filePath(QStringLiteral("before.csv"));
    QCOMPARE(RunTool(dir.path(), {"export", before}).exitCode, 0);
    const QString backup = dir.filePath(QStringLiteral("backup.bcd"));
    QCOMPARE(RunTool(dir.path(), {"backup", backup}).exitCode, 0);
    // Only its owner may read a backup, and it stands alone: nothing beside it.
    struct stat mode {};
    QCOMPARE(stat(QFile::encodeName(backup).constData(), &mode), 0);
    QCOMPARE(mode.st_mode & 0777, 0600u);
    QVERIFY(!QFile::exists(backup + QStringLiteral("-wal")));
    QCOMPARE(RunTool(dir.path(), {"check", backup}).exitCode, 0);
    // Changes after the backup, then the backup put back.
    QCOMPARE(RunTool(dir.path(), {"demo", "7", "--seed", "4"}).exitCode, 0);
    QStringList restore = {"restore", backup};
    if (server)
        restore << "--expect-count"
                << "307";
    const ToolRun restored = RunTool(dir.path(), restore);
    QVERIFY2(restored.exitCode == 0, qPrintable(restored.err));
    const QString after = dir.filePath(QStringLiteral("after.csv"));
    QCOMPARE(RunTool(dir.path(), {"export", after}).exitCode, 0);
    QCOMPARE(Bytes(after), Bytes(before));
    // New companies get ids past every restored one.
    QCOMPARE(RunTool(dir.path(), {"demo", "1"}).exitCode, 0);
    db::Connection connection;
    dbfile::OpenDirectory(connection, serverconf::ConnectionStringFor(dir.path()));
    db::Recordset newest;
    newest.Open(shipowner::ListQuery(QString(), QString()), connection);
    QVERIFY(newest.Field(QStringLiteral("id")).toLongLong() > 300);
    if (server)
        return;
    // The old file is kept beside the restored one.
    QVERIFY(QFile::exists(path + QStringLiteral(".before-restore")));
    // While a program has the file open, the file stays as it is.
    const QByteArray held = Bytes(path);
    const ToolRun refused = RunTool(dir.path(), {"restore", backup});
    QCOMPARE(refused.exitCode, 1);
    QVERIFY2(refused.err.contains(QLatin1String("open in another program")),
             qPrintable(refused.err));
    QVERIFY(!QFile::exists(path + QStringLiteral(".before-restore.2")));
    QCOMPARE(Bytes(path), held);
    // Closed, it may be replaced again.
    connection.Close();
    QCOMPARE(RunTool(dir.path(), {"restore", backup}).exitCode, 0);
    QVERIFY(QFile::exists(path + QStringLiteral(".before-restore.2")));
}

void TestTool::serverDirectoryIsReplacedOnlyWhenItsCountIsGiven() {
    QVERIFY2(HasTestServer(), kNeedsTestServer);
    QTemporaryDir dir;
    UseEmptyServer(dir.path());
    QCOMPARE(RunTool(dir.path(), {"demo", "12"}).exitCode, 0);
    for (const QStringList& arguments :
         {QStringList{"init", "--force"}, QStringList{"init", "--force", "--expect-count", "11"}}) {
        const ToolRun refused = RunTool(dir.path(), arguments);
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(refused.err.contains(QLatin1String("holds 12 companies")) &&
                     refused.err.contains(QLatin1String("--expect-count 12")),
                 qPrintable(refused.err));
    }
    db::Connection owner;
    owner.Open(serverconf::ServerConnectionString(TestServer()), QString(), QString());
    QCOMPARE(dbfile::CompanyCount(owner), 12);
    const ToolRun replaced = RunTool(dir.path(), {"init", "--force", "--expect-count", "12"});
    QCOMPARE(replaced.exitCode, 0);
    QCOMPARE(dbfile::CompanyCount(owner), 0);
    // What was deleted was copied first, into the system directory.
    const QStringList copies =
        QDir(dir.path()).entryList({QStringLiteral("server-before-init-*.bcd")});
    QCOMPARE(copies.size(), 1);
    db::Connection copy;
    copy.OpenFile(dir.filePath(copies[0]), dbfile::kPassword, db::FileMode::ReadOnly);
    QCOMPARE(dbfile::CompanyCount(copy), 12);
    // An empty directory needs no count.
    QCOMPARE(RunTool(dir.path(), {"init", "--force"}).exitCode, 0);
}

QTEST_GUILESS_MAIN(TestTool)
#include "tst_tool.moc"
