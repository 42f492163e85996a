// The database tool: makes the directory file and fills it with demonstration companies.
#include "data/Connection.h"
#include "data/DatabaseFile.h"
#include "data/DbError.h"
#include "data/Duplicates.h"
#include "data/Engine.h"
#include "data/SearchKey.h"
#include "data/ServerConfig.h"
#include "data/ShipOwnerTable.h"
#include "exchange/DirectoryExport.h"
#include "exchange/DirectoryImport.h"
#include "exchange/TableFile.h"
#include "platform/Fonts.h"
#include "platform/SystemDirectory.h"
#include "tools/DemoDirectory.h"
#include "tools/FindCommand.h"
#include "tools/HistoryCommands.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStringList>
#include <cstdio>
#include <optional>
#include <unistd.h>

namespace {

const char kUsage[] =
    "usage: orvandel-db COMMAND [OPTIONS]\n"
    "\n"
    "Works on shipall.bcd in the system directory (ORVANDEL_SYSTEM_DIR, else\n"
    "$XDG_DATA_HOME/orvandel, else ~/.local/share/orvandel), or on the PostgreSQL\n"
    "server that server.conf in that directory names.\n"
    "\n"
    "commands:\n"
    "  init [--force]        create the directory and an empty directory file, or\n"
    "                        the table on the server; --force replaces an existing\n"
    "                        file or table (its data is lost); on a server that\n"
    "                        holds N companies only with --expect-count N, after a\n"
    "                        backup into the system directory\n"
    "  demo N [--seed S]     add N generated companies (same seed, same companies)\n"
    "  sysinfo PROGRAM [--force]\n"
    "                        write system.reg beside the directory file, naming\n"
    "                        PROGRAM as the system information tool of the About box\n"
    "  export FILE [--with-history-columns] [--force]\n"
    "                        write every company to FILE: FILE.csv (UTF-8 with a\n"
    "                        byte-order mark, as spreadsheet programs read it),\n"
    "                        FILE.xlsx (an Excel workbook) or FILE.pdf (a list to\n"
    "                        print: number, name, country, telephone, address);\n"
    "                        --with-history-columns adds when each company last\n"
    "                        changed (local time) and by whom; an existing FILE\n"
    "                        is replaced only with --force\n"
    "  import FILE.csv [--dry-run] [--encoding NAME] [--separator ,|;|tab]\n"
    "                  [--allow-duplicates]\n"
    "  import FILE.xlsx [--sheet NAME] [--dry-run] [--allow-duplicates]\n"
    "                        add and update companies from a CSV file or a sheet of\n"
    "                        an Excel workbook (the first, or the one --sheet names),\n"
    "                        all or nothing; the first line names the columns. Rows\n"
    "                        with no id are new companies, rows with a stored id\n"
    "                        update it. A CSV file is read as UTF-8 when it is valid\n"
    "                        UTF-8, UTF-16 by its byte-order mark, else as GB18030;\n"
    "                        --encoding names another one. Its separator is found\n"
    "                        from the first line (comma, semicolon or tab). Cells\n"
    "                        hold text or numbers (whole numbers as their digits, also\n"
    "                        as spreadsheets write them: 12,345  12000.0  1.2E+05);\n"
    "                        true/false values, errors, dates are refused. Empty\n"
    "                        rows are skipped.\n"
    "                        A new company named as a stored one or as another new\n"
    "                        one of the file, in the same country (spaces, case and\n"
    "                        full-width letters aside), is a likely duplicate: they\n"
    "                        are listed and the file is refused, unless\n"
    "                        --allow-duplicates is given.\n"
    "                        --dry-run checks and reports without writing\n"
    "  duplicates            list the groups of stored companies that are likely\n"
    "                        duplicates of each other\n"
    "%1"
    "%2"
    "  backup FILE           copy the directory, file or server, to a new directory\n"
    "                        file FILE (mode 600): consistent and encrypted, also\n"
    "                        while the program runs and saves\n"
    "  restore FILE [--expect-count N]\n"
    "                        put the companies of a backup FILE back, keeping their\n"
    "                        ids: the file replaces shipall.bcd (refused while a\n"
    "                        program has it open; the old one is kept beside it as\n"
    "                        shipall.bcd.before-restore); on a server that holds N\n"
    "                        companies only with --expect-count N, after a backup\n"
    "  check [FILE]          say what makes the directory file (or FILE, or the\n"
    "                        server) unfit: a wrong key, a missing table or column,\n"
    "                        damaged pages; exit status 0 when it is sound; then\n"
    "                        the companies whose search keys are stale\n"
    "  reindex               build every company's search key again (folded texts,\n"
    "                        pinyin), as for companies another program wrote\n"
    "  server URI            use the PostgreSQL server URI (a libpq connection string\n"
    "                        or URI, no password: the password comes from ~/.pgpass,\n"
    "                        PGPASSWORD or a service file) from now on; it is tried\n"
    "                        first, then written to server.conf\n"
    "  server --local        use the directory file again (removes server.conf)\n"
    "  where                 print the path of the directory file, or\n"
    "                        \"server URI\" when a server is in use\n"
    "  --help                show this text\n";

QByteArray UsageText() {
    return QString::fromUtf8(kUsage)
        .arg(QString::fromUtf8(findcommand::kUsage), QString::fromUtf8(historycommands::kUsage))
        .toUtf8();
}

// "1 company", "2 companies".
QString Counted(qint64 count, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(count).arg(QString::fromLatin1(count == 1 ? one : many));
}

int Fail(const QString& message) {
    std::fprintf(stderr, "orvandel-db: %s\n", qPrintable(message));
    return 1;
}

int Usage(const QString& message) {
    Fail(message);
    std::fputs(UsageText().constData(), stderr);
    return 2;
}

// The file's path, or "server" and the connection string when a server is in use.
QString Where(const QString& directory) {
    if (serverconf::Exists(directory))
        return QStringLiteral("server ") + serverconf::Read(directory);
    return dbfile::PathIn(directory);
}

bool TableExists(db::Connection& connection) {
    return connection.engine().TableColumns(shipowner::kTable).has_value();
}

// Opens the directory the program would use, as the program does: the server that server.conf
// names, else the file; checked first, an older layout brought up to date.
int OpenExisting(db::Connection& connection, const QString& directory) {
    const QString path = dbfile::PathIn(directory);
    if (!serverconf::Exists(directory) && !QFileInfo(path).isFile())
        return Fail(QStringLiteral("%1 does not exist; run orvandel-db init first").arg(path));
    try {
        dbfile::OpenDirectory(connection, serverconf::ConnectionStringFor(directory));
    } catch (const db::Error& error) {
        if (error.kind() == db::ErrorKind::NotADirectory && serverconf::Exists(directory))
            return Fail(QStringLiteral("the server holds no directory yet; run orvandel-db init "
                                       "(%1)")
                            .arg(error.message()));
        throw;
    }
    return 0;
}

// Points this desk at a server after a successful connection, or back at the file.
int Server(const QString& directory, const QStringList& arguments) {
    if (arguments.size() != 1)
        return Usage(QStringLiteral("server: give one connection string or URI, or --local"));
    const QString conf = serverconf::PathIn(directory);
    if (arguments[0] == QStringLiteral("--local")) {
        if (QFileInfo::exists(conf) && !QFile::remove(conf))
            return Fail(QStringLiteral("cannot remove %1").arg(conf));
        std::fprintf(stderr, "using %s\n", qPrintable(dbfile::PathIn(directory)));
        return 0;
    }
    const QString conninfo = arguments[0].trimmed();
    const QString refused = serverconf::Check(conninfo);
    if (!refused.isEmpty())
        return Fail(QStringLiteral("not written: %1").arg(refused));
    db::Connection connection;
    try {
        connection.Open(serverconf::ServerConnectionString(conninfo), QString(), dbfile::kPassword);
    } catch (const db::Error& error) {
        return Fail(QStringLiteral("not written: the server refused the connection: %1")
                        .arg(error.message()));
    }
    QFile file(conf);
    if (!QDir().mkpath(directory) || !file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(conninfo.toUtf8() + '\n') < 0 || !file.flush())
        return Fail(QStringLiteral("cannot write %1").arg(conf));
    std::fprintf(stderr, "wrote %s\n", qPrintable(conf));
    if (!TableExists(connection))
        std::fprintf(stderr, "the server holds no directory yet: run orvandel-db init\n");
    return 0;
}

bool ParseCount(const QString& text, long long& value) {
    bool ok = false;
    value = text.toLongLong(&ok);
    return ok && value >= 0;
}

bool OnServer(const QString& directory) {
    return serverconf::Exists(directory);
}

// A replacement of a server directory that holds companies must name how many it deletes, as
// --expect-count N; a wrong or missing count refuses with the true one.
int RefuseUnlessCounted(qint64 held, const std::optional<qint64>& expected, const char* command) {
    if (held == 0 || (expected && *expected == held))
        return 0;
    return Fail(QStringLiteral("the directory on the server holds %1 companies; %2 deletes them "
                               "all only when given --expect-count %1")
                    .arg(held)
                    .arg(QLatin1String(command)));
}

// A copy of what the server held, written before it is replaced.
QString BackUpBeforeReplacing(db::Connection& connection, const QString& directory,
                              const char* what) {
    const QString target = dbfile::FreeName(
        QStringLiteral("%1/server-before-%2-%3.bcd")
            .arg(directory, QLatin1String(what),
                 QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
    dbfile::Backup(connection, target);
    std::fprintf(stderr, "copied the directory on the server to %s\n", qPrintable(target));
    return target;
}

int InitServer(const QString& directory, bool force, const std::optional<qint64>& expected) {
    db::Connection connection;
    connection.Open(serverconf::ConnectionStringFor(directory), QString(), dbfile::kPassword);
    if (force && TableExists(connection)) {
        if (const int refused =
                RefuseUnlessCounted(dbfile::CompanyCount(connection), expected, "init --force"))
            return refused;
        BackUpBeforeReplacing(connection, directory, "init");
        dbfile::DropOnServer(connection);
    }
    try {
        dbfile::CreateOnServer(connection);
    } catch (const db::Error&) {
        if (!force && TableExists(connection))
            return Fail(QStringLiteral("the server holds the directory already; use init --force "
                                       "to replace it"));
        throw;
    }
    std::fprintf(stderr, "created the directory on the server\n");
    return 0;
}

// Takes --expect-count N out of the arguments; false when N is not a whole number.
bool TakeExpectedCount(QStringList& arguments, std::optional<qint64>& expected) {
    const qsizetype at = arguments.indexOf(QStringLiteral("--expect-count"));
    if (at < 0)
        return true;
    long long count = 0;
    if (at + 1 >= arguments.size() || !ParseCount(arguments[at + 1], count))
        return false;
    expected = count;
    arguments.remove(at, 2);
    return true;
}

int Init(const QString& directory, const QStringList& arguments) {
    QStringList options = arguments;
    std::optional<qint64> expected;
    if (!TakeExpectedCount(options, expected))
        return Usage(QStringLiteral("init: --expect-count takes the number of companies"));
    const bool force = options.contains(QStringLiteral("--force"));
    for (const QString& option : options)
        if (option != QStringLiteral("--force"))
            return Usage(QStringLiteral("init: unknown option %1").arg(option));
    if (OnServer(directory))
        return InitServer(directory, force, expected);
    const QString path = dbfile::PathIn(directory);
    if (QFileInfo::exists(path)) {
        if (!force)
            return Fail(
                QStringLiteral("%1 exists already; use init --force to replace it").arg(path));
        if (!QFile::remove(path))
            return Fail(QStringLiteral("cannot remove %1").arg(path));
        // The old file's log must not be replayed into the new one.
        QFile::remove(path + QStringLiteral("-wal"));
        QFile::remove(path + QStringLiteral("-shm"));
    }
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return Fail(QStringLiteral("cannot create %1").arg(QFileInfo(path).absolutePath()));
    db::Connection connection;
    dbfile::Create(connection, path);
    std::fprintf(stderr, "created %s\n", qPrintable(path));
    return 0;
}

int Demo(const QString& directory, const QStringList& arguments) {
    long long count = 0;
    long long seed = 1;
    if (arguments.isEmpty() || !ParseCount(arguments[0], count))
        return Usage(QStringLiteral("demo: give the number of companies as a whole number"));
    for (int i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == QStringLiteral("--seed") && i + 1 < arguments.size() &&
            ParseCount(arguments[i + 1], seed)) {
            ++i;
            continue;
        }
        return Usage(QStringLiteral("demo: unknown or incomplete option %1").arg(arguments[i]));
    }
    db::Connection connection;
    if (const int failed = OpenExisting(connection, directory))
        return failed;
    DemoDirectory demo(static_cast<std::uint64_t>(seed));
    demo.AddTo(connection, count, [count](long long added) {
        std::fprintf(stderr, "\r%lld of %lld companies", added, count);
        if (added == count)
            std::fputc('\n', stderr);
    });
    std::fprintf(stderr, "added %s to %s\n", qPrintable(Counted(count, "company", "companies")),
                 qPrintable(Where(directory)));
    return 0;
}

int Export(const QString& directory, QStringList arguments) {
    const bool lastChanges = arguments.removeAll(QStringLiteral("--with-history-columns")) > 0;
    const bool force = arguments.removeAll(QStringLiteral("--force")) > 0;
    if (arguments.size() != 1 || arguments[0].startsWith(QLatin1String("--")))
        return Usage(QStringLiteral("export: give one file name ending in .csv, .xlsx or .pdf"));
    const bool pdf = arguments[0].endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive);
    exchange::FileFormat format;
    if (!pdf && !exchange::FormatOf(arguments[0], format))
        return Usage(
            QStringLiteral("export: %1 ends in none of .csv, .xlsx and .pdf").arg(arguments[0]));
    if (QFileInfo::exists(arguments[0]) && !force)
        return Fail(QStringLiteral("%1 exists; give --force to replace it").arg(arguments[0]));
    db::Connection connection;
    if (const int failed = OpenExisting(connection, directory))
        return failed;
    const qint64 count =
        pdf ? findcommand::WritePdf(connection, {}, {shipowner::kId, false}, arguments[0])
            : exchange::ExportDirectory(connection, arguments[0], format, lastChanges);
    std::fprintf(stderr, "wrote %s to %s\n", qPrintable(Counted(count, "company", "companies")),
                 qPrintable(arguments[0]));
    return 0;
}

int Find(const QString& directory, const QStringList& arguments) {
    QString error;
    const std::optional<findcommand::Request> request =
        findcommand::Parse(arguments, isatty(STDOUT_FILENO), &error);
    if (!request)
        return Usage(error);
    db::Connection connection;
    if (const int failed = OpenExisting(connection, directory))
        return failed;
    const qint64 found = findcommand::Run(connection, *request);
    std::fprintf(stderr, "found %lld %s\n", static_cast<long long>(found),
                 found == 1 ? "company" : "companies");
    return 0;
}

// Runs one of the history commands on the directory the program would use.
int OnHistory(const QString& directory, const QStringList& arguments,
              int (*command)(db::Connection&, const QStringList&, QString*)) {
    db::Connection connection;
    if (const int failed = OpenExisting(connection, directory))
        return failed;
    QString error;
    const int status = command(connection, arguments, &error);
    return status == 2 ? Usage(error) : status;
}

QString Describe(const exchange::ImportProblem& problem) {
    QString where =
        problem.line > 0 ? QStringLiteral("line %1").arg(problem.line) : QStringLiteral("file");
    if (!problem.column.isEmpty())
        where += QStringLiteral(", column %1").arg(problem.column);
    if (!problem.value.isEmpty())
        where += QStringLiteral(", value \"%1\"").arg(problem.value);
    return where + QStringLiteral(": ") + problem.reason;
}

QString Describe(const exchange::ImportDuplicate& duplicate) {
    return QStringLiteral("line %1, name \"%2\", country \"%3\": likely a duplicate of %4")
        .arg(duplicate.line)
        .arg(duplicate.name, duplicate.country,
             duplicate.storedId != 0 ? QStringLiteral("id %1").arg(duplicate.storedId)
                                     : QStringLiteral("line %1").arg(duplicate.earlierLine));
}

// Lists the problems and the likely duplicates of an import, the first of each on stderr.
void ListFindings(const QString& file, const exchange::ImportResult& result) {
    for (const exchange::ImportProblem& problem : result.problems)
        std::fprintf(stderr, "%s: %s\n", qPrintable(file), qPrintable(Describe(problem)));
    if (result.problemCount > result.problems.size())
        std::fprintf(stderr, "%s: and %s more\n", qPrintable(file),
                     qPrintable(Counted(result.problemCount - result.problems.size(), "problem",
                                        "problems")));
    for (const exchange::ImportDuplicate& duplicate : result.duplicates)
        std::fprintf(stderr, "%s: %s\n", qPrintable(file), qPrintable(Describe(duplicate)));
    if (result.duplicateCount > result.duplicates.size())
        std::fprintf(stderr, "%s: and %s more\n", qPrintable(file),
                     qPrintable(Counted(result.duplicateCount - result.duplicates.size(),
                                        "likely duplicate", "likely duplicates")));
}

int Import(const QString& directory, const QStringList& arguments) {
    exchange::ImportOptions options;
    QString file;
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == QStringLiteral("--dry-run")) {
            options.dryRun = true;
        } else if (arguments[i] == QStringLiteral("--allow-duplicates")) {
            options.allowDuplicates = true;
        } else if (arguments[i] == QStringLiteral("--encoding") && i + 1 < arguments.size()) {
            options.encoding = arguments[++i];
        } else if (arguments[i] == QStringLiteral("--separator") && i + 1 < arguments.size()) {
            const QString separator = arguments[++i];
            options.separator =
                separator == QStringLiteral("tab") ? '\t'
                : separator.size() == 1 && QStringLiteral(",;\t").contains(separator)
                    ? separator.at(0).toLatin1()
                    : 0;
            if (options.separator == 0)
                return Usage(QStringLiteral("import: --separator takes , ; or tab"));
        } else if (arguments[i] == QStringLiteral("--sheet") && i + 1 < arguments.size()) {
            options.sheet = arguments[++i];
        } else if (!arguments[i].startsWith(QLatin1String("--")) && file.isEmpty()) {
            file = arguments[i];
        } else {
            return Usage(
                QStringLiteral("import: unknown or incomplete option %1").arg(arguments[i]));
        }
    }
    if (file.isEmpty())
        return Usage(QStringLiteral("import: give the CSV or Excel (.xlsx) file to read"));
    exchange::FileFormat format = exchange::FileFormat::Csv;
    const bool workbook = exchange::FormatOf(file, format) && format == exchange::FileFormat::Xlsx;
    // A workbook's cells carry their own characters; a CSV file has no sheets.
    if (workbook && !options.encoding.isEmpty())
        return Usage(QStringLiteral("import: --encoding means nothing for an Excel workbook"));
    if (!workbook && !options.sheet.isEmpty())
        return Usage(QStringLiteral("import: --sheet is for an Excel workbook (.xlsx)"));
    const bool terminal = isatty(fileno(stderr)) != 0;
    if (terminal)
        options.progress = [](int percent) {
            std::fprintf(stderr, "\rimporting: %3d%%", percent);
            if (percent == 100)
                std::fputc('\n', stderr);
        };
    db::Connection connection;
    if (const int failed = OpenExisting(connection, directory))
        return failed;
    // Before the file is read: an account that may only read would be refused at the end.
    if (!connection.MayWrite(shipowner::kTable))
        return Fail(QStringLiteral("%1: this account may only read the directory; importing needs "
                                   "the rights to insert, update and delete (nothing was read)")
                        .arg(connection.ServerName()));
    const exchange::ImportResult result = exchange::ImportCsv(connection, file, options);
    if (terminal && (result.problemCount > 0 || result.duplicateCount > 0))
        std::fputc('\n', stderr);
    ListFindings(file, result);
    if (result.problemCount > 0) {
        std::printf("%s in %s; nothing was written\n",
                    qPrintable(Counted(result.problemCount, "problem", "problems")),
                    qPrintable(file));
        return 1;
    }
    // A dry run ends as the import would.
    if (result.duplicateCount > 0 && !options.allowDuplicates) {
        std::printf(
            "%s in %s; nothing was written (--allow-duplicates imports them)\n",
            qPrintable(Counted(result.duplicateCount, "likely duplicate", "likely duplicates")),
            qPrintable(file));
        return 1;
    }
    const QString skipped = result.emptyRows > 0
                                ? QStringLiteral(", skipped %1")
                                      .arg(Counted(result.emptyRows, "empty row", "empty rows"))
                                : QString();
    const QString source = workbook ? QStringLiteral("sheet %1 of %2").arg(result.sheet, file)
                                    : QStringLiteral("%1 read as %2").arg(file, result.encoding);
    std::printf("%s %s and %s %s%s (%s)%s\n", options.dryRun ? "would add" : "added",
                qPrintable(Counted(result.added, "company", "companies")),
                options.dryRun ? "update" : "updated",
                qPrintable(Counted(result.updated, "company", "companies")), qPrintable(skipped),
                qPrintable(source), options.dryRun ? "; nothing was written (--dry-run)" : "");
    return 0;
}

// Each group of likely duplicates as a paragraph: one company a line, id, name and country.
int Duplicates(const QString& directory, const QStringList& arguments) {
    if (!arguments.isEmpty())
        return Usage(QStringLiteral("duplicates: takes no arguments"));
    db::Connection connection;
    if (const int failed = OpenExisting(connection, directory))
        return failed;
    const QList<QList<shipowner::NamedCompany>> groups =
        shipowner::LikelyDuplicateGroups(connection);
    if (groups.isEmpty()) {
        std::printf("no likely duplicates\n");
        return 0;
    }
    for (qsizetype group = 0; group < groups.size(); ++group) {
        std::printf("%s", group > 0 ? "\n" : "");
        for (const shipowner::NamedCompany& company : groups[group])
            std::printf("%lld\t%s\t%s\n", static_cast<long long>(company.id),
                        qPrintable(company.name), qPrintable(company.country));
    }
    std::fprintf(stderr, "%lld groups of likely duplicates\n",
                 static_cast<long long>(groups.size()));
    return 0;
}

int Backup(const QString& directory, const QStringList& arguments) {
    if (arguments.size() != 1 || arguments[0].startsWith(QLatin1String("--")))
        return Usage(QStringLiteral("backup: give the file to copy to"));
    db::Connection connection;
    if (const int failed = OpenExisting(connection, directory))
        return failed;
    dbfile::Backup(connection, arguments[0]);
    std::fprintf(stderr, "copied %s to %s\n", qPrintable(Where(directory)),
                 qPrintable(arguments[0]));
    return 0;
}

int Restore(const QString& directory, const QStringList& arguments) {
    QStringList rest = arguments;
    std::optional<qint64> expected;
    if (!TakeExpectedCount(rest, expected) || rest.size() != 1 ||
        rest[0].startsWith(QLatin1String("--")))
        return Usage(QStringLiteral("restore: give one backup file, and --expect-count N to "
                                    "replace a server directory that holds N companies"));
    const QString source = rest[0];
    if (!QFileInfo(source).isFile())
        return Fail(QStringLiteral("%1 is no file").arg(source));
    if (!OnServer(directory)) {
        const QString path = dbfile::PathIn(directory);
        if (!QFileInfo(path).isFile())
            return Fail(QStringLiteral("%1 does not exist; run orvandel-db init first").arg(path));
        const QString kept = dbfile::RestoreFile(path, source);
        std::fprintf(stderr, "restored %s from %s; the old file is %s\n", qPrintable(path),
                     qPrintable(source), qPrintable(kept));
        return 0;
    }
    db::Connection connection;
    if (const int failed = OpenExisting(connection, directory))
        return failed;
    if (const int refused =
            RefuseUnlessCounted(dbfile::CompanyCount(connection), expected, "restore"))
        return refused;
    if (dbfile::CompanyCount(connection) > 0)
        BackUpBeforeReplacing(connection, directory, "restore");
    dbfile::RestoreOnServer(connection, source);
    std::fprintf(stderr, "restored the directory on the server from %s: %lld companies\n",
                 qPrintable(source), static_cast<long long>(dbfile::CompanyCount(connection)));
    return 0;
}

// What to do about a failure, where the engine's words do not say it.
QString Hint(db::ErrorKind kind) {
    switch (kind) {
    case db::ErrorKind::PasswordMissing:
        return QStringLiteral("; the server asks for a password: put it in ~/.pgpass "
                              "(host:port:database:user:password, mode 600)");
    case db::ErrorKind::CertificateRefused:
        return QStringLiteral("; the server's certificate cannot be checked: put the office's CA "
                              "certificate at ~/.postgresql/root.crt or name it with sslrootcert= "
                              "in server.conf");
    case db::ErrorKind::AuthRefused:
        return QStringLiteral("; the server refused the login: check the user name and password");
    case db::ErrorKind::PermissionDenied:
        return QStringLiteral("; this account lacks the right to do that on the server");
    case db::ErrorKind::NewerSchema:
        return QStringLiteral("; install the newer program");
    default:
        return QString();
    }
}

// Why a file could not be opened as a directory file, in words.
QString OpenFailure(const db::Error& error) {
    switch (error.kind()) {
    case db::ErrorKind::NotADirectory:
        return QStringLiteral("it is not encrypted with this program's key, or it is no database");
    case db::ErrorKind::CannotOpen:
        return QStringLiteral("it cannot be opened (not a file, or no permission)");
    default:
        return error.details();
    }
}

// Companies written by another program are still found by their characters, not yet by folding
// or pinyin: said, but no fault of the directory.
void ReportStaleKeys(db::Connection& connection, const QString& where) {
    if (!connection.engine().TableColumns(searchkey::kTable))
        return;
    const QList<qint64> stale = searchkey::StaleCompanies(connection);
    if (stale.isEmpty())
        return;
    QStringList ids;
    for (const qint64 id : stale.mid(0, 10))
        ids.append(QString::number(id));
    if (stale.size() > 10)
        ids.append(QStringLiteral("…"));
    std::printf("%s: %s whose search key is stale (written by another program; found by its "
                "characters only) (id %s): orvandel-db reindex builds the keys again\n",
                qPrintable(where), qPrintable(Counted(stale.size(), "company", "companies")),
                qPrintable(ids.join(QStringLiteral(", "))));
}

int Check(const QString& directory, const QStringList& arguments) {
    if (arguments.size() > 1)
        return Usage(QStringLiteral("check: give at most one file"));
    db::Connection connection;
    QString where;
    if (arguments.isEmpty() && OnServer(directory)) {
        if (const int failed = OpenExisting(connection, directory))
            return failed;
        where = connection.ServerName();
    } else {
        where = arguments.isEmpty() ? dbfile::PathIn(directory) : arguments[0];
        if (!QFileInfo::exists(where))
            return Fail(QStringLiteral("%1 does not exist").arg(where));
        // Read-only: a file that is refused is left exactly as it was.
        try {
            connection.OpenFile(where, dbfile::kPassword, db::FileMode::ReadOnly);
        } catch (const db::Error& error) {
            return Fail(QStringLiteral("%1: %2").arg(where, OpenFailure(error)));
        }
    }
    const QList<dbfile::Problem> problems = dbfile::Problems(connection);
    for (const dbfile::Problem& problem : problems)
        std::printf("%s: %s\n", qPrintable(where), qPrintable(problem.text));
    if (!problems.isEmpty())
        return 1;
    std::printf("%s: sound, layout version %d\n", qPrintable(where),
                connection.engine().SchemaVersion());
    ReportStaleKeys(connection, where);
    return 0;
}

int Reindex(const QString& directory, const QStringList& arguments) {
    if (!arguments.isEmpty())
        return Usage(QStringLiteral("reindex: takes no arguments"));
    db::Connection connection;
    if (const int failed = OpenExisting(connection, directory))
        return failed;
    const qint64 companies = searchkey::Reindex(connection);
    std::fprintf(stderr, "built the search keys of %s\n",
                 qPrintable(Counted(companies, "company", "companies")));
    return 0;
}

// Writes the registry file that the About box reads to find the system information tool.
int SysInfo(const QString& directory, const QStringList& arguments) {
    QStringList rest = arguments;
    const bool force = rest.removeAll(QStringLiteral("--force")) > 0;
    if (rest.size() != 1 || rest[0].startsWith(QLatin1String("--")))
        return Usage(QStringLiteral("sysinfo: give the path of one program"));
    const QString program = QFileInfo(rest[0]).absoluteFilePath();
    if (!QFileInfo(program).isExecutable() || !QFileInfo(program).isFile())
        return Fail(QStringLiteral("%1 is not a program that can be started").arg(program));
    const QString path = directory + QStringLiteral("/system.reg");
    if (QFileInfo::exists(path) && !force)
        return Fail(
            QStringLiteral("%1 exists already; use sysinfo --force to replace it").arg(path));
    QString escaped = program;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('"'), QStringLiteral("\\\""));
    QFile file(path);
    if (!QDir().mkpath(directory) || !file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return Fail(QStringLiteral("cannot write %1").arg(path));
    file.write(QStringLiteral("Windows Registry Editor Version 5.00\n\n"
                              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\n"
                              "\"PATH\"=\"%1\"\n")
                   .arg(escaped)
                   .toUtf8());
    std::fprintf(stderr, "wrote %s\n", qPrintable(path));
    return 0;
}

// A PDF is drawn with the program's fonts, which need a graphical application; it draws off
// screen, so the tool still runs without a display.
std::unique_ptr<QCoreApplication> MakeApplication(int& argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    if (!findcommand::WantsPdf(arguments))
        return std::make_unique<QCoreApplication>(argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    auto app = std::make_unique<QGuiApplication>(argc, argv);
    platform::SetUpFonts();
    return app;
}

} // namespace

int main(int argc, char** argv) {
    const std::unique_ptr<QCoreApplication> app = MakeApplication(argc, argv);
    QStringList arguments = app->arguments().mid(1);
    if (arguments.isEmpty())
        return Usage(QStringLiteral("no command given"));
    const QString command = arguments.takeFirst();
    if (command == QStringLiteral("--help") || command == QStringLiteral("-h")) {
        std::fputs(UsageText().constData(), stdout);
        return 0;
    }
    const QString directory = platform::SystemDirectoryPath();
    if (directory.isEmpty())
        return Fail(QStringLiteral("no system directory: set ORVANDEL_SYSTEM_DIR or HOME"));
    try {
        if (command == QStringLiteral("init"))
            return Init(directory, arguments);
        if (command == QStringLiteral("demo"))
            return Demo(directory, arguments);
        if (command == QStringLiteral("export"))
            return Export(directory, arguments);
        if (command == QStringLiteral("find"))
            return Find(directory, arguments);
        if (command == QStringLiteral("history"))
            return OnHistory(directory, arguments, historycommands::History);
        if (command == QStringLiteral("restore-record"))
            return OnHistory(directory, arguments, historycommands::RestoreRecord);
        if (command == QStringLiteral("deleted"))
            return OnHistory(directory, arguments, historycommands::Deleted);
        if (command == QStringLiteral("prune-history"))
            return OnHistory(directory, arguments, historycommands::Prune);
        if (command == QStringLiteral("import"))
            return Import(directory, arguments);
        if (command == QStringLiteral("duplicates"))
            return Duplicates(directory, arguments);
        if (command == QStringLiteral("server"))
            return Server(directory, arguments);
        if (command == QStringLiteral("sysinfo"))
            return SysInfo(directory, arguments);
        if (command == QStringLiteral("backup"))
            return Backup(directory, arguments);
        if (command == QStringLiteral("restore"))
            return Restore(directory, arguments);
        if (command == QStringLiteral("check"))
            return Check(directory, arguments);
        if (command == QStringLiteral("reindex"))
            return Reindex(directory, arguments);
        if (command == QStringLiteral("where") && arguments.isEmpty()) {
            std::printf("%s\n", qPrintable(Where(directory)));
            return 0;
        }
    } catch (const db::Error& error) {
        return Fail(error.details() + Hint(error.kind()));
    } catch (const exchange::FileError& error) {
        return Fail(QString::fromStdString(error.what()));
    }
    return Usage(QStringLiteral("unknown command %1").arg(command));
}
