#include "support/TestSupport.h"

#include "data/Connection.h"
#include "data/DatabaseFile.h"
#include "data/Engine.h"
#include "data/Recordset.h"
#include "data/ServerConfig.h"
#include "data/ShipOwnerTable.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <stdexcept>

bool OnServer() {
    return qgetenv("ORVANDEL_TEST_ENGINE") == "server";
}

QString TestServer() {
    const QString conninfo = qEnvironmentVariable("ORVANDEL_TEST_SERVER");
    if (conninfo.isEmpty())
        throw std::runtime_error("ORVANDEL_TEST_ENGINE=server needs the test server's connection "
                                 "string in ORVANDEL_TEST_SERVER (scripts/test.sh starts one)");
    return conninfo;
}

bool HasTestServer() {
    return !qEnvironmentVariableIsEmpty("ORVANDEL_TEST_SERVER");
}

QString TestServerUri(const QString& password) {
    if (!HasTestServer())
        return QString();
    QMap<QString, QString> keywords;
    for (const QString& pair : TestServer().split(QLatin1Char(' '), Qt::SkipEmptyParts))
        keywords.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
    const QString userInfo =
        keywords.value("user") + (password.isEmpty() ? QString() : QLatin1Char(':') + password);
    return QStringLiteral("postgresql://%1@%2:%3/%4")
        .arg(userInfo, keywords.value("host"), keywords.value("port"), keywords.value("dbname"));
}

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
    if (!OnServer()) {
        dbfile::Create(connection, databasePath());
        return;
    }
    QFile conf(serverconf::PathIn(path_));
    if (!conf.open(QIODevice::WriteOnly) || conf.write(TestServer().toUtf8() + '\n') < 0)
        throw std::runtime_error("cannot write server.conf");
    conf.close();
    OpenAnother(connection);
    dbfile::DropOnServer(connection);
    dbfile::CreateOnServer(connection);
}

void SystemDirFixture::OpenAnother(db::Connection& connection) const {
    connection.Open(connectionString(), QString(), dbfile::kPassword);
}

QString SystemDirFixture::connectionString() const {
    return serverconf::ConnectionStringFor(path_);
}

qint64 InsertCompany(db::Connection& connection, const QMap<QString, QVariant>& values) {
    return connection.engine()
        .Insert(shipowner::kTable, values.keys(), values.values(), QStringLiteral("id"))
        .toLongLong();
}

QVariant StoredValue(db::Connection& connection, qint64 id, const QString& column) {
    db::Recordset select;
    // Unquoted, as the program's statements name columns, so that it folds alike on every engine.
    select.Open(QStringLiteral("SELECT %1 FROM Orvandel WHERE id=%2").arg(column).arg(id),
                connection);
    return select.AtEnd() ? QVariant(QStringLiteral("<no row>")) : select.Field(column);
}

qint64 RowCount(db::Connection& connection) {
    db::Recordset count;
    count.Open(QStringLiteral("SELECT count(*) AS n FROM Orvandel"), connection);
    return count.Field(QStringLiteral("n")).toLongLong();
}

namespace {
// Runs the test server script; false, with its error output, when it failed.
bool RunServerScript(const QStringList& arguments, QString* output) {
    QProcess script;
    script.start(QStringLiteral("bash"),
                 QStringList{QStringLiteral(ORVANDEL_TEST_SERVER_SCRIPT)} + arguments);
    const bool finished = script.waitForFinished(120000);
    *output = QString::fromUtf8(script.readAllStandardOutput()).trimmed();
    const QString errors = QString::fromUtf8(script.readAllStandardError());
    if (finished && script.exitStatus() == QProcess::NormalExit && script.exitCode() == 0)
        return true;
    *output = arguments.join(QLatin1Char(' ')) + QStringLiteral(" failed: ") + errors;
    return false;
}
} // namespace

PrivateServer::~PrivateServer() {
    QString output;
    if (!conninfo_.isEmpty())
        RunServerScript({QStringLiteral("stop"), dir_.path()}, &output);
}

bool PrivateServer::Start(QString* result) {
    if (!RunServerScript({QStringLiteral("start"), dir_.path()}, result))
        return false;
    conninfo_ = *result;
    return true;
}

bool PrivateServer::Halt(const QString& mode, QString* error) {
    return RunServerScript({QStringLiteral("halt"), dir_.path(), mode}, error);
}

bool PrivateServer::Resume(QString* error) {
    return RunServerScript({QStringLiteral("resume"), dir_.path()}, error);
}

void FillTheDisk(db::Connection& connection) {
    connection.Execute(QStringLiteral("VACUUM")); // no free pages left to reuse
    db::Recordset pages;
    pages.Open(QStringLiteral("PRAGMA page_count"), connection);
    connection.Execute(QStringLiteral("PRAGMA max_page_count=") +
                       QString::fromUtf8(pages.FieldText(0)));
}

QStringList BadFileKinds() {
    return {"zero bytes",     "no table",  "missing column", "damaged pages", "text file",
            "plain database", "wrong key", "directory",      "newer layout"};
}

void MakeBadFile(const QString& kind, const QString& path) {
    const auto makeTable = [&path](const QString& key, const QString& statement) {
        db::Connection connection;
        connection.OpenFile(path, key, db::FileMode::Create);
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
        // A stretch of garbage well past the first pages, where the rows are, and before the
        // last ones, which a new company's save reads.
        file.open(QIODevice::ReadWrite);
        file.seek(file.size() / 2);
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
    } else if (kind == QLatin1String("newer layout")) {
        db::Connection connection;
        dbfile::Create(connection, path);
        InsertCompany(connection, {{QStringLiteral("公司名称"), QStringLiteral("远洋航运")}});
        connection.Execute(QStringLiteral("PRAGMA user_version = 99"));
    }
}

QByteArray FileHash(const QString& path) {
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return QByteArray("no file");
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
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

QString SystemDirFixture::RunOtherProgram(const QString& sql) const {
    QProcess program;
    if (OnServer()) {
        program.start(QStringLiteral("psql"),
                      {QStringLiteral("-X"), QStringLiteral("-v"),
                       QStringLiteral("ON_ERROR_STOP=1"), TestServer(), QStringLiteral("-c"), sql});
    } else {
        program.start(QStringLiteral("sqlcipher"), {databasePath()});
        program.write(QStringLiteral("PRAGMA key='%1';\nPRAGMA cipher_compatibility=3;\n%2;\n")
                          .arg(dbfile::kPassword, sql)
                          .toUtf8());
        program.closeWriteChannel();
    }
    if (!program.waitForFinished(60000))
        return QStringLiteral("%1 did not finish").arg(program.program());
    if (program.exitCode() != 0)
        return QString::fromUtf8(program.readAllStandardError());
    return QString();
}

ToolRun RunTool(const QString& systemDir, const QStringList& arguments) {
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORVANDEL_SYSTEM_DIR"), systemDir);
    tool.setProcessEnvironment(env);
    tool.start(QStringLiteral(ORVANDEL_DB_BIN), arguments);
    tool.waitForFinished(120000);
    return {tool.exitCode(), QString::fromUtf8(tool.readAllStandardOutput()),
            QString::fromUtf8(tool.readAllStandardError())};
}

QString Xdotool(const QStringList& arguments) {
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), arguments);
    xdotool.waitForFinished(60000);
    return QString::fromUtf8(xdotool.readAllStandardOutput()).trimmed();
}

QStringList VisibleWindows(const QProcess& program) {
    return Xdotool({"search", "--onlyvisible", "--pid", QString::number(program.processId())})
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString WindowSize(const QString& window) {
    return Xdotool({"getwindowgeometry", window})
        .section(QStringLiteral("Geometry: "), 1)
        .trimmed();
}

QString ProgramState(QProcess& program) {
    QString state;
    if (program.state() != QProcess::NotRunning)
        state = QStringLiteral("still running");
    else if (program.exitStatus() == QProcess::CrashExit)
        state = QStringLiteral("ended by signal %1").arg(program.exitCode());
    else
        state = QStringLiteral("ended with exit code %1").arg(program.exitCode());
    return state + QStringLiteral("; its standard error: ") +
           QString::fromLocal8Bit(program.readAllStandardError());
}
