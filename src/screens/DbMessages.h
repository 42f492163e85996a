#pragma once

#include <QString>

namespace db {
class Error;
}

// What went wrong with the directory, in the user's words, chosen by the kind of failure. On a
// server (`server` is its host and database, empty for the file) the message names the server,
// not a data file. The engine's own code and text are for stderr.
QString DbFailureReason(const db::Error& error, const QString& server);
