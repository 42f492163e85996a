#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

namespace db {
class Connection;
}

// A private system directory for one test: ORVANDEL_SYSTEM_DIR points at it while it lives.
class SystemDirFixture {
public:
    explicit SystemDirFixture(const QString& subPath = QString());
    ~SystemDirFixture();
    QString path() const { return path_; }
    QString databasePath() const;
    // Creates the keyed directory file with the table and leaves `connection` open on it.
    void CreateDatabase(db::Connection& connection) const;

private:
    QTemporaryDir root_;
    QString path_;
    QByteArray previous_;
};

// Adds one company with the given column values (other columns null) and returns its id.
qint64 InsertCompany(db::Connection& connection, const QMap<QString, QVariant>& values);
// Reads one column of one row straight from the table, for checking what was stored.
QVariant StoredValue(db::Connection& connection, qint64 id, const QString& column);
qint64 RowCount(db::Connection& connection);

// Files that must not be taken for the directory. MakeBadFile puts one of these kinds at `path`:
// "zero bytes", "no table", "missing column", "damaged pages", "text file", "plain database",
// "wrong key", "directory".
QStringList BadFileKinds();
void MakeBadFile(const QString& kind, const QString& path);

// Writes system.reg into `directory` with, below HKEY_LOCAL_MACHINE\SOFTWARE\Test, a value "Long"
// of `bytes` bytes in continued hex lines as the registry editor exports them, followed by a
// short text value "After" = "found".
void WriteLongRegistryValue(const QString& directory, qint64 bytes);
