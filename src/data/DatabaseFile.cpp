#include "data/DatabaseFile.h"

#include "data/Connection.h"
#include "data/DbError.h"
#include "data/ShipOwnerTable.h"

#include <QFileInfo>
#include <sqlite3.h>

namespace dbfile {

QString PathIn(const QString& directory) {
    return directory + QLatin1Char('/') + kFileName;
}

void Create(db::Connection& connection, const QString& path) {
    if (QFileInfo::exists(path))
        throw db::Error(SQLITE_CANTOPEN, QStringLiteral("%1 exists already").arg(path));
    connection.OpenFile(path, kPassword, true);
    connection.Execute(shipowner::CreateTableStatement());
}

} // namespace dbfile
