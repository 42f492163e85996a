#include "data/Wait.h"

namespace db {

namespace {
WaitHandler& Handler() {
    static WaitHandler handler;
    return handler;
}
} // namespace

void SetWaitHandler(const WaitHandler& handler) {
    Handler() = handler;
}

WaitAnswer WaitTurn(qint64 waitedMs, qint64 limitMs, bool server) {
    const WaitHandler& handler = Handler();
    return handler.turn ? handler.turn(waitedMs, limitMs, server) : WaitAnswer::KeepWaiting;
}

void WaitDone() {
    const WaitHandler& handler = Handler();
    if (handler.done)
        handler.done();
}

} // namespace db
