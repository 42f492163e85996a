#include "platform/DoEvents.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace platform {

namespace {
constexpr qint64 kYieldIntervalNs = 16'000'000; // about one screen frame
QElapsedTimer sinceLastYield;
} // namespace

void DoEvents() {
    if (sinceLastYield.isValid() && sinceLastYield.nsecsElapsed() < kYieldIntervalNs)
        return;
    YieldNow();
}

void YieldNow() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    sinceLastYield.start();
}

} // namespace platform
