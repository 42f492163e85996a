#pragma once

#include <QString>

namespace db {
class Error;
}

// What went wrong with the directory, in the user's words, chosen by the kind of failure; a
// message about a server speaks of the server, not of a data file. The engine's own code and text
// are for stderr.
QString DbFailureReason(const db::Error& error, bool onServer);
