#pragma once

#include <QString>
#include <stdexcept>

namespace db {

// What went wrong, in the terms a message to the user is chosen by. Each engine sets it from its
// own codes.
enum class ErrorKind {
    Busy,               // a lock held elsewhere was waited for in vain
    RowChanged,         // the row was changed or deleted elsewhere after it was read
    PermissionDenied,   // the account, or the file system, does not allow this
    ReadOnly,           // the store takes no writes
    DiskFull,           // no room left for the write
    ServerUnreachable,  // the server went away, or does not take a connection
    NoAnswer,           // the server did not answer within the limit; the connection was given up
    Cancelled,          // the user stopped waiting for the server; the connection was given up
    AuthRefused,        // the server refused the login
    PasswordMissing,    // the server asks for a password that no password file gives
    PasswordInConfig,   // server.conf holds a password, which it must not
    CertificateRefused, // the server's certificate cannot be checked or does not hold
    NotADirectory,      // no ship-owner table, a column missing, no database, a wrong key
    Damaged,            // the file's pages are not what the engine wrote
    NewerSchema,        // made by a newer version of the program
    ValueRefused,       // a column refused a value: its type, a duplicate key, a constraint
    IoError,            // the disk or the file system failed a read or a write
    CannotOpen,         // the file, or the files the engine keeps beside it, cannot be opened
    Misuse,             // asked for something the connection or result set cannot do now
    Other,
};

// A failure of the store: what kind it is, the engine's own code (a name and number on the file,
// the SQLSTATE on a server, empty where the program itself refused) and the engine's text. The
// kind chooses the user's message; the code and the text are for stderr.
class Error : public std::runtime_error {
public:
    Error(ErrorKind kind, const QString& message, const QString& engineCode = QString());
    ErrorKind kind() const { return kind_; }
    QString engineCode() const { return engineCode_; }
    QString message() const { return message_; }
    // The message with the engine's code, for stderr.
    QString details() const;

private:
    ErrorKind kind_;
    QString engineCode_;
    QString message_;
};

// A lock on a row held elsewhere was waited for in vain; the holder is the desk that holds it (as
// it names itself to the server), empty when it is not known.
class LockHeldError : public Error {
public:
    LockHeldError(const QString& message, const QString& engineCode, const QString& holder);
    QString holder() const { return holder_; }

private:
    QString holder_;
};

// A text that a column's type does not take; nothing was held for the row.
class ConversionError : public Error {
public:
    // outOfRange: a whole number, but beyond what the column holds (64 bits).
    ConversionError(const QString& column, const QString& text, bool outOfRange = false);
    QString column() const { return column_; }
    bool outOfRange() const { return outOfRange_; }

private:
    QString column_;
    bool outOfRange_;
};

// The row an updatable result set read was changed or deleted elsewhere before this one took
// the write lock; nothing was written.
class RowChangedError : public Error {
public:
    explicit RowChangedError(bool deleted);
    bool deleted() const { return deleted_; }

private:
    bool deleted_;
};

// The server went away, or does not take a new connection; or the program gave the connection up
// (kind NoAnswer or Cancelled). When it went while a commit was on its way, whether the changes
// were stored is not known.
class ServerLostError : public Error {
public:
    explicit ServerLostError(const QString& message, const QString& engineCode = QString(),
                             bool duringCommit = false,
                             ErrorKind kind = ErrorKind::ServerUnreachable);
    bool duringCommit() const { return duringCommit_; }

private:
    bool duringCommit_;
};

} // namespace db
