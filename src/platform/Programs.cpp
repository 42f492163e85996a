#include "platform/Programs.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>

namespace platform {

namespace {
QString& overriddenDirectory() {
    static QString directory;
    return directory;
}
} // namespace

QString ExecutableDirectory() {
    return overriddenDirectory().isEmpty() ? QCoreApplication::applicationDirPath()
                                           : overriddenDirectory();
}

void OverrideExecutableDirectory(const QString& directory) {
    overriddenDirectory() = directory;
}

bool IsOrdinaryFile(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && info.isReadable() && !info.fileName().startsWith(QLatin1Char('.'));
}

namespace {
QStringList& Started() {
    static QStringList started;
    return started;
}
} // namespace

bool StartProgram(const QString& path) {
    if (path.isEmpty() || !QProcess::startDetached(path, QStringList()))
        return false;
    Started().append(path);
    return true;
}

QStringList StartedPrograms() {
    return Started();
}

} // namespace platform
