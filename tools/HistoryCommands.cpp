#include "tools/HistoryCommands.h"

#include "data/DbError.h"
#include "data/History.h"
#include "data/ShipOwnerTable.h"

#include <QDateTime>
#include <cstdio>
#include <optional>

namespace historycommands {
namespace {

using history::Version;

std::optional<qint64> Id(const QString& text) {
    bool isNumber = false;
    const qint64 id = text.toLongLong(&isNumber);
    return isNumber ? std::optional<qint64>(id) : std::nullopt;
}

// A date or a date and time as people type them, in local time.
std::optional<QDateTime> When(const QString& text) {
    for (const QString& format :
         {QStringLiteral("yyyy-MM-dd"), QStringLiteral("yyyy-MM-ddTHH:mm"),
          QStringLiteral("yyyy-MM-dd HH:mm"), QStringLiteral("yyyy-MM-ddTHH:mm:ss"),
          QStringLiteral("yyyy-MM-dd HH:mm:ss")}) {
        const QDateTime when = QDateTime::fromString(text, format);
        if (when.isValid())
            return when;
    }
    return std::nullopt;
}

QString Who(const Version& version) {
    return version.who.isEmpty() ? QStringLiteral("(unknown)") : version.who;
}

} // namespace

int History(db::Connection& connection, const QStringList& arguments, QString* error) {
    const std::optional<qint64> id = arguments.size() == 1 ? Id(arguments[0]) : std::nullopt;
    if (!id) {
        *error = QStringLiteral("history: give one company id");
        return 2;
    }
    const QList<Version> versions = history::VersionsOf(connection, *id);
    if (versions.isEmpty()) {
        std::printf("no versions recorded for company %lld\n", static_cast<long long>(*id));
        return 0;
    }
    for (int i = 0; i < versions.size(); ++i) {
        const Version& version = versions[i];
        std::printf("version %lld  %s  %s  %s\n", static_cast<long long>(version.version),
                    qPrintable(history::LocalTimeText(version.at)), qPrintable(version.change),
                    qPrintable(Who(version)));
        const QStringList changes =
            version.change == QLatin1String("update") && i + 1 < versions.size()
                ? history::Differences(versions[i + 1].values, version.values)
                : history::Differences({}, version.values);
        for (const QString& change : changes)
            std::printf("    %s\n", qPrintable(change));
    }
    return 0;
}

int RestoreRecord(db::Connection& connection, const QStringList& arguments, QString* error) {
    const std::optional<qint64> id = arguments.size() == 3 ? Id(arguments[0]) : std::nullopt;
    const QString how = arguments.value(1);
    std::optional<qint64> number;
    std::optional<QDateTime> at;
    if (how == QStringLiteral("--version"))
        number = Id(arguments.value(2));
    else if (how == QStringLiteral("--at"))
        at = When(arguments.value(2));
    if (!id || (!number && !at)) {
        *error = QStringLiteral("restore-record: give ID and --version N or --at TIME");
        return 2;
    }
    const qint64 companyId = *id;
    const QList<Version> versions = history::VersionsOf(connection, companyId);
    std::optional<Version> chosen;
    for (const Version& version : versions)
        if ((number && version.version == *number) ||
            (at && version.at <= at->toUTC() && version.change != QLatin1String("delete"))) {
            chosen = version;
            break;
        }
    if (!chosen || chosen->change == QLatin1String("delete")) {
        std::fprintf(stderr, "orvandel-db: company %lld has no such version to restore\n",
                     static_cast<long long>(companyId));
        return 1;
    }
    // A deleted company comes back under its id with the chosen version's record.
    if (versions.first().change == QLatin1String("delete"))
        history::Undelete(connection, *chosen);
    else
        history::RestoreVersion(connection, *chosen, versions.first().version);
    std::fprintf(stderr, "company %lld is as in version %lld again\n",
                 static_cast<long long>(companyId), static_cast<long long>(chosen->version));
    return 0;
}

int Deleted(db::Connection& connection, const QStringList& arguments, QString* error) {
    if (!arguments.isEmpty()) {
        *error = QStringLiteral("deleted: takes no arguments");
        return 2;
    }
    const QList<Version> deleted = history::Deleted(connection);
    for (const Version& version : deleted)
        std::printf("%lld\t%s\t%s\t%s\t%s\n", static_cast<long long>(version.companyId),
                    qPrintable(version.Text(QStringLiteral("公司名称"))),
                    qPrintable(version.Text(QStringLiteral("国家"))),
                    qPrintable(history::LocalTimeText(version.at)), qPrintable(Who(version)));
    if (deleted.isEmpty())
        std::fprintf(stderr, "no deleted companies\n");
    return 0;
}

int Prune(db::Connection& connection, const QStringList& arguments, QString* error) {
    const std::optional<QDateTime> before =
        arguments.size() == 2 && arguments[0] == QStringLiteral("--before") ? When(arguments[1])
                                                                            : std::nullopt;
    if (!before) {
        *error = QStringLiteral("prune-history: give --before DATE, as 2026-01-01");
        return 2;
    }
    const qint64 removed = history::Prune(connection, *before);
    std::fprintf(stderr, "removed %lld %s recorded before %s\n", static_cast<long long>(removed),
                 removed == 1 ? "version" : "versions",
                 qPrintable(history::LocalTimeText(before->toUTC())));
    return 0;
}

} // namespace historycommands
