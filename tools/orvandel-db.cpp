// The database tool: makes the directory file and fills it with demonstration companies.
#include "data/Connection.h"
#include "data/DatabaseFile.h"
#include "data/DbError.h"
#include "platform/SystemDirectory.h"
#include "tools/DemoDirectory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cstdio>

namespace {

const char kUsage[] =
    "usage: orvandel-db COMMAND [OPTIONS]\n"
    "\n"
    "Works on shipall.bcd in the system directory (ORVANDEL_SYSTEM_DIR, else\n"
    "$XDG_DATA_HOME/orvandel, else ~/.local/share/orvandel).\n"
    "\n"
    "commands:\n"
    "  init [--force]        create the directory and an empty directory file;\n"
    "                        --force replaces an existing file (its data is lost)\n"
    "  demo N [--seed S]     add N generated companies (same seed, same companies)\n"
    "  sysinfo PROGRAM [--force]\n"
    "                        write system.reg beside the directory file, naming\n"
    "                        PROGRAM as the system information tool of the About box\n"
    "  where                 print the path of the directory file\n"
    "  --help                show this text\n";

int Fail(const QString& message) {
    std::fprintf(stderr, "orvandel-db: %s\n", qPrintable(message));
    return 1;
}

int Usage(const QString& message) {
    Fail(message);
    std::fputs(kUsage, stderr);
    return 2;
}

bool ParseCount(const QString& text, long long& value) {
    bool ok = false;
    value = text.toLongLong(&ok);
    return ok && value >= 0;
}

int Init(const QString& path, const QStringList& options) {
    const bool force = options.contains(QStringLiteral("--force"));
    for (const QString& option : options)
        if (option != QStringLiteral("--force"))
            return Usage(QStringLiteral("init: unknown option %1").arg(option));
    if (QFileInfo::exists(path)) {
        if (!force)
            return Fail(
                QStringLiteral("%1 exists already; use init --force to replace it").arg(path));
        if (!QFile::remove(path))
            return Fail(QStringLiteral("cannot remove %1").arg(path));
    }
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return Fail(QStringLiteral("cannot create %1").arg(QFileInfo(path).absolutePath()));
    db::Connection connection;
    dbfile::Create(connection, path);
    std::fprintf(stderr, "created %s\n", qPrintable(path));
    return 0;
}

int Demo(const QString& path, const QStringList& arguments) {
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
    if (!QFileInfo(path).isFile())
        return Fail(QStringLiteral("%1 does not exist; run orvandel-db init first").arg(path));
    db::Connection connection;
    connection.OpenFile(path, dbfile::kPassword);
    DemoDirectory demo(static_cast<std::uint64_t>(seed));
    demo.AddTo(connection, count, [count](long long added) {
        std::fprintf(stderr, "\r%lld of %lld companies", added, count);
        if (added == count)
            std::fputc('\n', stderr);
    });
    std::fprintf(stderr, "added %lld companies to %s\n", count, qPrintable(path));
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

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    if (arguments.isEmpty())
        return Usage(QStringLiteral("no command given"));
    const QString command = arguments.takeFirst();
    if (command == QStringLiteral("--help") || command == QStringLiteral("-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const QString directory = platform::SystemDirectoryPath();
    if (directory.isEmpty())
        return Fail(QStringLiteral("no system directory: set ORVANDEL_SYSTEM_DIR or HOME"));
    const QString path = dbfile::PathIn(directory);
    try {
        if (command == QStringLiteral("init"))
            return Init(path, arguments);
        if (command == QStringLiteral("demo"))
            return Demo(path, arguments);
        if (command == QStringLiteral("sysinfo"))
            return SysInfo(directory, arguments);
        if (command == QStringLiteral("where") && arguments.isEmpty()) {
            std::printf("%s\n", qPrintable(path));
            return 0;
        }
    } catch (const db::Error& error) {
        return Fail(QStringLiteral("%1 (code %2)").arg(error.message()).arg(error.code()));
    }
    return Usage(QStringLiteral("unknown command %1").arg(command));
}
