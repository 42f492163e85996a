#include "data/Duplicates.h"

#include "data/Query.h"
#include "data/Recordset.h"
#include "data/ShipOwnerTable.h"

#include <QHash>

namespace shipowner {
namespace {

const QString& NameColumn() {
    return Columns()[1];
}

const QString& CountryColumn() {
    return Columns()[2];
}

} // namespace

QString FoldedKey(const QString& text) {
    // NFKC turns the ideographic space into an ordinary one, so one removal takes both.
    QString folded = text.normalized(QString::NormalizationForm_KC).toCaseFolded();
    folded.remove(QLatin1Char(' '));
    return folded;
}

CompanyKey KeyOf(const QString& name, const QString& country) {
    return {FoldedKey(name), FoldedKey(country)};
}

QList<NamedCompany> NamedCompanies(db::Connection& connection) {
    db::Recordset rs;
    rs.Open(db::From(kTable).Select({kId, NameColumn(), CountryColumn()}).OrderBy(kId), connection,
            db::adOpenForwardOnly, db::adLockReadOnly);
    QList<NamedCompany> companies;
    for (; !rs.AtEnd(); rs.MoveNext())
        companies.append({rs.Field(kId).toLongLong(), rs.Field(NameColumn()).toString(),
                          rs.Field(CountryColumn()).toString()});
    return companies;
}

QList<NamedCompany> LikelyDuplicatesOf(db::Connection& connection, const QString& name,
                                       const QString& country) {
    const CompanyKey key = KeyOf(name, country);
    QList<NamedCompany> found;
    if (key.IsBlank())
        return found;
    // Folding happens here, not in the store: no condition on the stored text can match every
    // form that folds to the same key, so every name is read and the country only on a match.
    for (NamedCompany& company : NamedCompanies(connection))
        if (FoldedKey(company.name) == key.name && FoldedKey(company.country) == key.country)
            found.append(std::move(company));
    return found;
}

QList<QList<NamedCompany>> LikelyDuplicateGroups(db::Connection& connection) {
    QList<QList<NamedCompany>> groups;
    QHash<CompanyKey, qsizetype> groupOf;
    for (NamedCompany& company : NamedCompanies(connection)) {
        const CompanyKey key = KeyOf(company.name, company.country);
        if (key.IsBlank())
            continue;
        const auto found = groupOf.constFind(key);
        if (found != groupOf.constEnd()) {
            groups[found.value()].append(std::move(company));
        } else {
            groupOf.insert(key, groups.size());
            groups.append({std::move(company)});
        }
    }
    groups.removeIf([](const QList<NamedCompany>& group) { return group.size() < 2; });
    return groups;
}

} // namespace shipowner
