#pragma once

#include <QtGlobal>
#include <functional>

// While a statement waits for the store (a server that is slow to answer, a lock held elsewhere),
// the program's user interface gets a turn every few milliseconds: it keeps its windows drawn,
// shows that it waits, and may give up. Without a handler (the database tool) a statement waits
// as long as it takes; so does a statement on another thread than the one that set the handler.
namespace db {

enum class WaitAnswer {
    KeepWaiting,
    Cancel, // the user asked to stop waiting
    GiveUp  // the limit passed
};

struct WaitHandler {
    // One turn: how long the statement has waited, the limit it may wait (0: none of its own),
    // and whether it waits for a server (else for the file). Must not start another statement.
    std::function<WaitAnswer(qint64 waitedMs, qint64 limitMs, bool server)> turn;
    // The wait is over, whatever its end.
    std::function<void()> done;
};

void SetWaitHandler(const WaitHandler& handler);
WaitAnswer WaitTurn(qint64 waitedMs, qint64 limitMs, bool server);
void WaitDone();

} // namespace db
