#include "data/ShipOwnerTable.h"

namespace shipowner {

namespace {
const QChar kIdeographicSpace(0x3000);

bool IsSpace(QChar c) {
    return c == QLatin1Char(' ') || c == kIdeographicSpace;
}

QString LikeClause(const QString& column, const QString& filter) {
    QString literal = TrimSpaces(filter);
    if (literal.isEmpty())
        return QString();
    // Doubling the apostrophe keeps the filter one string literal; '%' and '_' stay wildcards.
    literal.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QStringLiteral(" and  ") + column + QStringLiteral(" like '%") + literal +
           QStringLiteral("%'");
}
} // namespace

const QStringList& Columns() {
    static const QStringList columns = {
        QStringLiteral("id"),       QStringLiteral("公司名称"), QStringLiteral("国家"),
        QStringLiteral("adrress"),  QStringLiteral("tel"),      QStringLiteral("fax"),
        QStringLiteral("Tank_No"),  QStringLiteral("Tank_Dwt"), QStringLiteral("Bulk_NO"),
        QStringLiteral("Bulk_Dwt"), QStringLiteral("Gas_No"),   QStringLiteral("Gas_Cum"),
        QStringLiteral("Chem_No"),  QStringLiteral("Chem_Dwt"), QStringLiteral("Cont_No"),
        QStringLiteral("Cont_TEU"), QStringLiteral("Other_No"), QStringLiteral("Other_Dwt")};
    return columns;
}

bool IsIntegerColumn(int column) {
    return column == 0 || column > 5;
}

QString CreateTableStatement() {
    QStringList definitions = {QStringLiteral("id INTEGER PRIMARY KEY AUTOINCREMENT")};
    const QStringList& columns = Columns();
    for (int i = 1; i < columns.size(); ++i)
        definitions.append(columns[i] + (IsIntegerColumn(i) ? QStringLiteral(" INTEGER")
                                                            : QStringLiteral(" TEXT")));
    return QStringLiteral("CREATE TABLE ") + kTable + QStringLiteral(" (") +
           definitions.join(QStringLiteral(", ")) + QStringLiteral(")");
}

QString ListStatement(const QString& companyFilter, const QString& countryFilter) {
    return QStringLiteral("select 公司名称,国家,adrress,tel,id from Orvandel where 1=1 ") +
           LikeClause(QStringLiteral("公司名称"), companyFilter) +
           LikeClause(QStringLiteral("国家"), countryFilter) + QStringLiteral(" order by id desc ");
}

QString RecordStatement(qint64 id) {
    return QStringLiteral("select * from Orvandel where id=") + QString::number(id);
}

QString DeleteStatement(qint64 id) {
    return QStringLiteral("delete from Orvandel where id=") + QString::number(id);
}

QString TrimSpaces(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsSpace(text.at(begin)))
        ++begin;
    while (end > begin && IsSpace(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

QByteArrayView TrimSpaces(QByteArrayView utf8) {
    // U+3000 is E3 80 80 in UTF-8; no other character's encoding ends or starts with that run.
    static constexpr QByteArrayView kIdeographicSpaceUtf8("\xE3\x80\x80");
    while (true) {
        if (utf8.startsWith(' '))
            utf8 = utf8.sliced(1);
        else if (utf8.startsWith(kIdeographicSpaceUtf8))
            utf8 = utf8.sliced(3);
        else
            break;
    }
    while (true) {
        if (utf8.endsWith(' '))
            utf8.chop(1);
        else if (utf8.endsWith(kIdeographicSpaceUtf8))
            utf8.chop(3);
        else
            break;
    }
    return utf8;
}

QString ValueText(const QVariant& value) {
    if (value.isNull())
        return QString();
    return TrimSpaces(value.toString());
}

} // namespace shipowner
