#pragma once

#include <QHash>
#include <QString>

namespace db {

// key=value pairs separated by ';'; keys compare without regard to case; a value may be wrapped
// in braces, inside which ';' is plain text and '}}' stands for '}'.
class ConnectionString {
public:
    static ConnectionString Parse(const QString& text);
    bool Has(const QString& key) const { return values_.contains(key.toLower()); }
    QString Value(const QString& key) const { return values_.value(key.toLower()); }

private:
    QHash<QString, QString> values_;
};

} // namespace db
