#pragma once

#include <QString>

namespace db {
class Error;
}

// What went wrong with the directory, in the user's words; the engine's own text is for stderr.
QString DbFailureReason(const db::Error& error);
