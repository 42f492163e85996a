#include "data/ConnectionString.h"

namespace db {

ConnectionString ConnectionString::Parse(const QString& text) {
    ConnectionString parsed;
    int pos = 0;
    const int length = text.size();
    while (pos < length) {
        const int equals = text.indexOf(QLatin1Char('='), pos);
        const int semicolon = text.indexOf(QLatin1Char(';'), pos);
        if (equals < 0 || (semicolon >= 0 && semicolon < equals)) {
            // A piece without '=' carries no value; skip it.
            pos = semicolon < 0 ? length : semicolon + 1;
            continue;
        }
        const QString key = text.mid(pos, equals - pos).trimmed().toLower();
        int valueStart = equals + 1;
        while (valueStart < length && text.at(valueStart).isSpace())
            ++valueStart;
        QString value;
        if (valueStart < length && text.at(valueStart) == QLatin1Char('{')) {
            int i = valueStart + 1;
            for (; i < length; ++i) {
                if (text.at(i) != QLatin1Char('}')) {
                    value.append(text.at(i));
                } else if (i + 1 < length && text.at(i + 1) == QLatin1Char('}')) {
                    value.append(QLatin1Char('}'));
                    ++i;
                } else {
                    break;
                }
            }
            const int next = text.indexOf(QLatin1Char(';'), i);
            pos = next < 0 ? length : next + 1;
        } else {
            const int next = text.indexOf(QLatin1Char(';'), valueStart);
            value = text.mid(valueStart, next < 0 ? -1 : next - valueStart).trimmed();
            pos = next < 0 ? length : next + 1;
        }
        if (!key.isEmpty())
            parsed.values_.insert(key, value);
    }
    return parsed;
}

} // namespace db
