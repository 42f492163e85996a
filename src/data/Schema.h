#pragma once

#include <QList>
#include <QString>
#include <functional>

#include "data/DbError.h"

namespace db {
class Connection;
}

// The layout of the directory has a version, recorded by the store. A newer program brings an
// older directory up to date step by step; an older program refuses a newer directory.
namespace schema {

// One change of the layout; it runs inside the upgrade's transaction.
struct Step {
    int version; // the version the directory has after this step
    std::function<void(db::Connection&)> apply;
};

// The program's steps, oldest first. A directory made by init before any step is version 0.
const QList<Step>& DirectorySteps();
// The version these steps bring a directory to.
int LatestVersion(const QList<Step>& steps = DirectorySteps());

// An upgrade that could not be made; nothing in the directory changed. The kind is the cause's.
class UpgradeError : public db::Error {
public:
    UpgradeError(const db::Error& cause, const QString& what);
};

// Brings the directory the connection is open on up to the steps' latest version, in one
// transaction. A file is first copied beside itself (NAME.before-upgrade-N, N its version then);
// when the copy fails, nothing is changed. Throws UpgradeError; a directory newer than the steps
// is refused with an Error of kind NewerSchema. `beforeChanging`, when given, is called once the
// directory is known to need the upgrade and before the copy: a large one takes long.
void BringUpToDate(db::Connection& connection, const QList<Step>& steps = DirectorySteps(),
                   const std::function<void()>& beforeChanging = {});

// The file an upgrade from this version copies a directory file to first; the first name free.
QString UpgradeBackupPath(const QString& file, int version);

} // namespace schema
