#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// The directory that holds the running program.
QString ExecutableDirectory();
// Tests let the program look for its files elsewhere; an empty path restores the real one.
void OverrideExecutableDirectory(const QString& directory);

// A regular, readable file whose name does not start with a dot.
bool IsOrdinaryFile(const QString& path);

// Starts the program at path on its own, without arguments or a shell, and does not wait for it.
// False when the path names nothing that can be started.
bool StartProgram(const QString& path);
// Every program StartProgram started, oldest first: what a check of the launcher counts on, as
// the started programs run on their own.
QStringList StartedPrograms();

} // namespace platform
