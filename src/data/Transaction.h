#pragma once

namespace db {

class Connection;

// One transaction on a connection: begun when made, rolled back when it goes out of scope without
// commit(). The rollback never throws, so it cannot hide the error that is unwinding past it.
class Transaction {
public:
    enum class Begin {
        Deferred, // the locks are taken by the first read and the first write
        Immediate // the write lock is taken now; another writer waits or fails here
    };

    explicit Transaction(Connection& connection, Begin begin = Begin::Deferred);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // Makes the changes lasting. If it throws, the transaction is still open and is rolled back
    // when this object goes.
    void commit();

private:
    Connection& connection_;
    bool open_ = true;
};

} // namespace db
