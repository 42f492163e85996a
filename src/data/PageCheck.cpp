#include "data/PageCheck.h"

#include "data/Connection.h"
#include "data/DbError.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <chrono>

namespace dbfile {

PageCheck::PageCheck(const QString& path, const QString& password)
    : path_(path), password_(password) {}

PageCheck::~PageCheck() {
    if (thread_.joinable())
        thread_.join();
}

void PageCheck::Start() {
    if (!thread_.joinable())
        thread_ = std::thread(&PageCheck::Run, this);
}

void PageCheck::Run() {
    try {
        db::Connection connection;
        connection.OpenFile(path_, password_, db::FileMode::ReadOnly);
        problems_ = connection.engine().CheckPages();
    } catch (const db::Error& error) {
        problems_.append(QStringLiteral("the pages cannot be checked: %1").arg(error.details()));
    }
    // Reported before it is marked done, so that whoever sees it done finds the report waiting.
    QMetaObject::invokeMethod(
        &receiver_,
        [this] {
            endReported_ = true;
            if (onDone_)
                onDone_();
        },
        Qt::QueuedConnection);
    done_.store(true, std::memory_order_release);
}

void PageCheck::SetOnDone(std::function<void()> onDone) {
    onDone_ = std::move(onDone);
    if (endReported_ && onDone_) // the end was reported before anyone listened
        QMetaObject::invokeMethod(&receiver_, onDone_, Qt::QueuedConnection);
}

void PageCheck::Await() {
    Start();
    while (!Done()) {
        if (turn_)
            turn_();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (problems_.isEmpty())
        return;
    // The check's report is waiting, posted before it was marked done: its listener's turn
    // comes before the write learns of the damage.
    if (turn_)
        turn_();
    throw db::Error(db::ErrorKind::Damaged, problems_.join(QStringLiteral("; ")));
}

} // namespace dbfile
