#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <thread>

namespace dbfile {

// The full check of a directory file's pages, on a read-only connection and a thread of its
// own, so that opening a large directory does not wait for it. The file may be read meanwhile;
// a write waits for the verdict first (Await), which refuses a damaged file.
class PageCheck {
public:
    PageCheck(const QString& path, const QString& password);
    ~PageCheck(); // waits for the check to end
    PageCheck(const PageCheck&) = delete;
    PageCheck& operator=(const PageCheck&) = delete;

    // Starts the check; once started, does nothing.
    void Start();
    bool Done() const { return done_.load(std::memory_order_acquire); }
    // What is wrong with the pages, one sentence each; empty when they are sound. Once Done().
    const QStringList& Problems() const { return problems_; }
    // Called on the thread that made this check, from its event loop, once the check has ended.
    void SetOnDone(std::function<void()> onDone);
    // Called every few milliseconds while a write waits (it must return when nothing is to be
    // done); without it the write just waits.
    void SetWaitTurn(std::function<void()> turn) { turn_ = std::move(turn); }
    // Starts the check if need be and waits for its end; throws db::Error (Damaged) for a
    // damaged file.
    void Await();

private:
    void Run();

    QString path_;
    QString password_;
    std::thread thread_;
    std::atomic<bool> done_{false};
    QStringList problems_; // written by the check's thread before done_
    std::function<void()> onDone_;
    bool endReported_ = false; // on the making thread
    std::function<void()> turn_;
    QObject receiver_; // on the making thread; the end is reported through it
};

} // namespace dbfile
