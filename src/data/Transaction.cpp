#include "data/Transaction.h"

#include "data/Connection.h"
#include "data/Statement.h"

#include <sqlite3.h>

namespace db {

Transaction::Transaction(Connection& connection, Begin begin) : connection_(connection) {
    Exec(connection_.Handle(),
         begin == Begin::Immediate ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"));
}

Transaction::~Transaction() {
    if (!open_)
        return;
    try {
        sqlite3* handle = connection_.Handle();
        // The engine may have rolled back on its own already (for example on a full disk).
        if (sqlite3_get_autocommit(handle) == 0)
            Exec(handle, QStringLiteral("ROLLBACK"));
    } catch (...) {
        // Nothing to report to: whatever failed is being reported by the caller already, and the
        // engine ends the transaction when the connection closes.
    }
}

void Transaction::commit() {
    Exec(connection_.Handle(), QStringLiteral("COMMIT"));
    open_ = false;
}

} // namespace db
