#include "data/Transaction.h"

#include "data/Connection.h"
#include "data/Engine.h"

namespace db {

Transaction::Transaction(Connection& connection, Begin begin) : connection_(connection) {
    connection_.engine().Begin(begin == Begin::Immediate);
}

Transaction::~Transaction() {
    if (!open_)
        return;
    try {
        connection_.engine().Rollback();
    } catch (...) {
        // Nothing to report to: whatever failed is being reported by the caller already, and the
        // engine ends the transaction when the connection closes.
    }
}

void Transaction::commit() {
    connection_.engine().Commit();
    open_ = false;
}

} // namespace db
