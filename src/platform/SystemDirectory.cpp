#include "platform/SystemDirectory.h"

#include <QByteArray>
#include <cstring>

namespace platform {

QString SystemDirectoryPath() {
    const QString explicitDir = qEnvironmentVariable("ORVANDEL_SYSTEM_DIR");
    if (!explicitDir.isEmpty())
        return explicitDir;
    const QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (!dataHome.isEmpty())
        return dataHome + QStringLiteral("/orvandel");
    const QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty())
        return QString();
    return home + QStringLiteral("/.local/share/orvandel");
}

unsigned GetSystemDirectoryA(char* buffer, unsigned size) {
    QByteArray path = SystemDirectoryPath().toLocal8Bit();
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    const auto length = static_cast<unsigned>(path.size());
    if (length == 0)
        return 0;
    if (buffer == nullptr || length + 1 > size)
        return length + 1;
    std::memcpy(buffer, path.constData(), length);
    buffer[length] = '\0';
    return length;
}

} // namespace platform
