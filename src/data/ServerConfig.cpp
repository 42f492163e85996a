#include "data/ServerConfig.h"

#include "data/DatabaseFile.h"
#include "data/DbError.h"

#include <QFile>
#include <QFileInfo>
#include <libpq-fe.h>

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
        throw db::Error(db::ErrorKind::Other,
                        QStringLiteral("%1: %2").arg(file.fileName(), refused));
    return conninfo;
}

QString Check(const QString& conninfo) {
    char* error = nullptr;
    const QByteArray text = conninfo.toUtf8();
    PQconninfoOption* options = PQconninfoParse(text.constData(), &error);
    if (options == nullptr) {
        const QString message =
            error != nullptr ? QString::fromUtf8(error).trimmed() : QStringLiteral("out of memory");
        PQfreemem(error);
        return QStringLiteral("not a connection string: %1").arg(message);
    }
    bool password = false;
    for (PQconninfoOption* option = options; option->keyword != nullptr; ++option)
        if (qstrcmp(option->keyword, "password") == 0 && option->val != nullptr)
            password = true;
    PQconninfoFree(options);
    if (password)
        return QStringLiteral("it holds a password; server.conf is readable by others, so the "
                              "password belongs in ~/.pgpass, PGPASSWORD or a service file");
    return QString();
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
