#include "data/Wait.h"

#include <thread>

namespace db {

namespace {
WaitHandler& Handler() {
    static WaitHandler handler;
    return handler;
}
// The handler's windows belong to the thread that installed it; a statement on another thread
// (a check running beside the windows) waits without them.
std::thread::id& HandlerThread() {
    static std::thread::id thread;
    return thread;
}
bool OnHandlerThread() {
    return std::this_thread::get_id() == HandlerThread();
}
} // namespace

void SetWaitHandler(const WaitHandler& handler) {
    Handler() = handler;
    HandlerThread() = std::this_thread::get_id();
}

WaitAnswer WaitTurn(qint64 waitedMs, qint64 limitMs, bool server) {
    const WaitHandler& handler = Handler();
    return handler.turn && OnHandlerThread() ? handler.turn(waitedMs, limitMs, server)
                                             : WaitAnswer::KeepWaiting;
}

void WaitDone() {
    const WaitHandler& handler = Handler();
    if (handler.done && OnHandlerThread())
        handler.done();
}

} // namespace db
