#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace db {

// The key under which a text sorts as people in this trade sort a list: Chinese characters in
// pinyin order, Latin letters without regard to case or width. Keys compare byte by byte; texts
// that differ only in case have equal keys. The same order as the server's collation made by
// the server's collation kServerTextCollation.
QByteArray TextSortKey(QStringView text);

// The server's collation for that order, and its rules as an ICU locale.
inline const QString kServerTextCollation = QStringLiteral("orvandel_text");
inline const QString kServerTextCollationLocale = QStringLiteral("zh-u-ks-level2");

} // namespace db
