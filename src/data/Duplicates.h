#pragma once

#include <QHashFunctions>
#include <QList>
#include <QString>

namespace db {
class Connection;
}

// Likely duplicates: companies whose name and country read the same once the differences that
// typing brings in are folded away. The detail screen asks before adding one, the import refuses
// them, and the database tool lists those already stored; all three fold with FoldedKey.
namespace shipowner {

// A text with spaces (ordinary and ideographic) left out, full-width and half-width forms alike
// (NFKC) and case folded. One function, so that a further folding reaches every use.
QString FoldedKey(const QString& text);

// A company's name and country, folded.
struct CompanyKey {
    QString name;
    QString country;
    // A company without a name is nobody's duplicate.
    bool IsBlank() const { return name.isEmpty(); }
    bool operator==(const CompanyKey& other) const {
        return name == other.name && country == other.country;
    }
};
inline size_t qHash(const CompanyKey& key, size_t seed = 0) {
    return qHashMulti(seed, key.name, key.country);
}
CompanyKey KeyOf(const QString& name, const QString& country);

// A stored company as the duplicate checks show it: null texts read as empty.
struct NamedCompany {
    qint64 id = 0;
    QString name;
    QString country;
};

// Every stored company, in id order.
QList<NamedCompany> NamedCompanies(db::Connection& connection);
// The stored companies that a new one of this name and country would duplicate, in id order;
// none for an empty name.
QList<NamedCompany> LikelyDuplicatesOf(db::Connection& connection, const QString& name,
                                       const QString& country);
// The stored companies that share their folded name and country with another, in groups of two
// or more, each in id order; the groups in the order of their first id.
QList<QList<NamedCompany>> LikelyDuplicateGroups(db::Connection& connection);

} // namespace shipowner
