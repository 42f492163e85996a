#include "data/Command.h"

#include "data/Connection.h"
#include "data/Statement.h"

#include <sqlite3.h>

namespace db {

Command::Command(Connection& connection, const QString& commandText)
    : connection_(connection),
      statement_(std::make_unique<Statement>(connection.Handle(), commandText)) {}

Command::~Command() = default;

void Command::Bind(int index, const QVariant& value) {
    statement_->Bind(index, value);
}

qint64 Command::Execute() {
    connection_.DetachReaders();
    try {
        while (statement_->Step()) {
        }
    } catch (...) {
        statement_->Reset();
        throw;
    }
    statement_->Reset();
    return sqlite3_changes(connection_.Handle());
}

} // namespace db
