#pragma once

#include "data/Query.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace db {
class Connection;
class Engine;
} // namespace db

// Beside each company, the store keeps its search key: its texts folded (chinese::Folded) and its
// name's pinyin, so that a search finds 中國遠洋 by 中国远洋, ＣＯＳＣＯ by cosco and 長榮 by
// changrong or cr without folding every row as it reads.
//
// Triggers keep a key row for every company, whoever writes. This program builds the keys of the
// rows it writes before it commits, in the same transaction; a row written by another program (a
// shell, psql) gets a stale key holding its texts as they are, so that a search still finds it by
// its characters, until this program's reindex.
namespace searchkey {

inline const QString kTable = QStringLiteral("orvandel_search_key");
inline const QString kState = QStringLiteral("state");
inline const QString kSyllables = QStringLiteral("pinyin");
inline const QString kInitials = QStringLiteral("initials");

// A key's state.
enum State {
    Stale = 0,   // written by another program: the texts as they are, no pinyin
    Built = 1,   // the texts folded and the name's pinyin
    Pending = -1 // written by this program, built before its transaction commits
};

// The table, its indexes and triggers.
QStringList FileStatements();
QStringList ServerStatements();
// Builds every company's key again, inside the caller's transaction; returns how many.
qint64 BuildAll(db::Engine& engine);

// For Engine::SetBeforeCommit: builds the pending keys of a directory; does nothing where there
// is no key table or the session may not write it.
std::function<void(db::Engine&)> PendingKeyBuilder();

// BuildAll in a transaction of its own.
qint64 Reindex(db::Connection& connection);
// The companies whose keys are stale or missing, by id.
QList<qint64> StaleCompanies(db::Connection& connection);

// What a search for the typed text in a text column asks of the key table, as conditions on it:
// the folded text, the typed text as it is (for stale keys), and for the company's name typed in
// Latin letters its pinyin, whole syllables or initials. withPinyin false leaves the pinyin out.
db::Condition KeyMatches(const QString& column, const QString& typed, bool withPinyin = true);

} // namespace searchkey
