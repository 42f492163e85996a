#include "startup/Main.h"

#include "data/Connection.h"
#include "data/DatabaseFile.h"
#include "data/ServerConfig.h"
#include "platform/MsgBox.h"
#include "platform/SystemDirectory.h"
#include "session/modGeneral.h"
#include "shell/frmsplash.h"

#include <QByteArray>
#include <cstdio>
#include <exception>
#include <stdexcept>

namespace modGeneral {

namespace {

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

bool Main() {
    try {
        systemDir = ReadSystemDirectory();
        // server.conf in the system directory points this desk at a shared server.
        const QString connectionString = serverconf::ConnectionStringFor(systemDir);
        dbConnection().Open(connectionString, QString(), dbfile::kPassword, -1);
        // A file that is not a sound directory is refused here, not met later as an empty list
        // or a save into a damaged file.
        dbfile::Verify(dbConnection());
        frmsplash::instance().Show();
        return true;
    } catch (const std::exception& error) {
        // The user sees the one start-up message; whoever helps them reads the cause here.
        std::fprintf(stderr, "orvandel: cannot start: %s\n", error.what());
        platform::MsgBox(QStringLiteral("辞典文件丢失！"), 16, QStringLiteral("数据处理"));
        return false;
    }
}

} // namespace modGeneral
