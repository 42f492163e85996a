#include "platform/Pictures.h"

#include <QFileInfo>
#include <QGuiApplication>

namespace platform {

QPixmap HighDpiVariant(const QString& path) {
    if (qApp->devicePixelRatio() <= 1.0)
        return QPixmap();
    const QFileInfo file(path);
    const QString suffix = file.suffix().isEmpty() ? QString() : QLatin1Char('.') + file.suffix();
    QPixmap large(file.path() + QLatin1Char('/') + file.completeBaseName() + QStringLiteral("@2x") +
                  suffix);
    large.setDevicePixelRatio(2.0);
    return large;
}

QPixmap Picture(const QString& path) {
    const QPixmap large = HighDpiVariant(path);
    return large.isNull() ? QPixmap(path) : large;
}

} // namespace platform
