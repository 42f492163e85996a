#include "data/ServerConfig.h"

#include "data/DatabaseFile.h"
#include "data/DbError.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <libpq-fe.h>
#include <optional>

namespace serverconf {

namespace {

// Braces keep the ';' of a connection string inside the value; '}' is doubled inside them.
QString Braced(const QString& value) {
    QString escaped = value;
    escaped.replace(QLatin1Char('}'), QStringLiteral("}}"));
    return QLatin1Char('{') + escaped + QLatin1Char('}');
}

} // namespace

QString PathIn(const QString& directory) {
    return directory + QLatin1Char('/') + kFileName;
}

bool Exists(const QString& directory) {
    return QFileInfo::exists(PathIn(directory));
}

namespace {

// The keywords a connection string or URI sets, or none when it does not parse (error says why).
std::optional<QHash<QString, QString>> Parse(const QString& conninfo, QString* error = nullptr) {
    char* message = nullptr;
    const QByteArray text = conninfo.toUtf8();
    PQconninfoOption* options = PQconninfoParse(text.constData(), &message);
    if (options == nullptr) {
        if (error != nullptr)
            *error = message != nullptr ? QString::fromUtf8(message).trimmed()
                                        : QStringLiteral("out of memory");
        PQfreemem(message);
        return std::nullopt;
    }
    QHash<QString, QString> values;
    for (PQconninfoOption* option = options; option->keyword != nullptr; ++option)
        if (option->val != nullptr)
            values.insert(QString::fromUtf8(option->keyword), QString::fromUtf8(option->val));
    PQconninfoFree(options);
    return values;
}

bool HoldsPassword(const QString& conninfo) {
    const std::optional<QHash<QString, QString>> options = Parse(conninfo);
    return options && options->contains(QStringLiteral("password"));
}

} // namespace

QString Read(const QString& directory) {
    QFile file(PathIn(directory));
    if (!file.open(QIODevice::ReadOnly))
        throw db::Error(
            db::ErrorKind::CannotOpen,
            QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString()));
    const QString conninfo = QString::fromUtf8(file.readAll()).trimmed();
    if (conninfo.isEmpty() || conninfo.contains(QLatin1Char('\n')))
        throw db::Error(db::ErrorKind::Other,
                        QStringLiteral("%1 must hold one line: a connection string or URI")
                            .arg(file.fileName()));
    const QString refused = Check(conninfo);
    if (!refused.isEmpty())
        throw db::Error(HoldsPassword(conninfo) ? db::ErrorKind::PasswordInConfig
                                                : db::ErrorKind::Other,
                        QStringLiteral("%1: %2").arg(file.fileName(), refused));
    return conninfo;
}

QString Check(const QString& conninfo) {
    QString error;
    if (!Parse(conninfo, &error))
        return QStringLiteral("not a connection string: %1").arg(error);
    if (HoldsPassword(conninfo))
        return QStringLiteral("it holds a password; server.conf is readable by others, so the "
                              "password belongs in ~/.pgpass, PGPASSWORD or a service file");
    return QString();
}

QString Describe(const QString& conninfo) {
    const std::optional<QHash<QString, QString>> options = Parse(conninfo);
    if (!options)
        return conninfo;
    QString host = options->value(QStringLiteral("host"));
    if (host.isEmpty())
        host = options->value(QStringLiteral("hostaddr"));
    if (host.isEmpty() || host.startsWith(QLatin1Char('/')))
        host = QStringLiteral("localhost");
    QString database = options->value(QStringLiteral("dbname"));
    if (database.isEmpty())
        database = options->value(QStringLiteral("user"));
    return database.isEmpty() ? host : host + QLatin1Char('/') + database;
}

QString DescribeIn(const QString& directory) {
    QFile file(PathIn(directory));
    if (!file.open(QIODevice::ReadOnly))
        return PathIn(directory);
    return Describe(QString::fromUtf8(file.readAll()).trimmed());
}

QString ConnectionStringFor(const QString& directory) {
    if (Exists(directory))
        return ServerConnectionString(Read(directory));
    return QStringLiteral("Driver={microsoft access driver (*.mdb)};dbq=") +
           dbfile::PathIn(directory);
}

QString ServerConnectionString(const QString& conninfo) {
    return QStringLiteral("Driver={PostgreSQL};Server=") + Braced(conninfo);
}

} // namespace serverconf
