#include "modGeneral.h"

#include "Connection.h"
#include "DatabaseFile.h"
#include "MsgBox.h"
#include "SystemDirectory.h"
#include "frmsplash.h"

#include <QByteArray>
#include <exception>
#include <memory>

namespace modGeneral {

QString systemDir;

namespace {

std::unique_ptr<db::Connection>& connectionSlot() {
    static std::unique_ptr<db::Connection> connection;
    return connection;
}

// Asks again with a buffer of the size the platform says it needs, so a path of any length fits.
QString ReadSystemDirectory() {
    QByteArray buffer(20, ' ');
    unsigned length = platform::GetSystemDirectoryA(buffer.data(), buffer.size());
    while (length >= static_cast<unsigned>(buffer.size())) {
        buffer.fill(' ', length);
        length = platform::GetSystemDirectoryA(buffer.data(), buffer.size());
    }
    if (length == 0)
        throw std::runtime_error("no system directory");
    return QString::fromLocal8Bit(buffer.left(length));
}

} // namespace

db::Connection& dbConnection() {
    auto& slot = connectionSlot();
    if (!slot)
        slot = std::make_unique<db::Connection>();
    return *slot;
}

bool Main() {
    try {
        systemDir = ReadSystemDirectory();
        const QString connectionString =
            QStringLiteral("Driver={microsoft access driver (*.mdb)};dbq=") + systemDir +
            QLatin1Char('/') + dbfile::kFileName;
        dbConnection().Open(connectionString, QString(), dbfile::kPassword, -1);
        frmsplash::instance().Show();
        return true;
    } catch (const std::exception&) {
        platform::MsgBox(QStringLiteral("辞典文件丢失！"), 16, QStringLiteral("数据处理"));
        return false;
    }
}

} // namespace modGeneral
