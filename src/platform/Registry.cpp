#include "platform/Registry.h"

#include "platform/SystemDirectory.h"

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QStringList>
#include <cstring>

namespace platform {

namespace {

struct Value {
    unsigned type;
    QByteArray data;
};
using Key = QHash<QString, Value>; // by value name in lower case; "" is the default value

QString RootPath(const QString& subKey) {
    return (QStringLiteral("HKEY_LOCAL_MACHINE\\") + subKey).toLower();
}

// A quoted string of the file at text[pos] (which is '"'): its contents with \\ and \" undone.
QString TakeQuoted(const QString& text, int& pos) {
    QString result;
    for (++pos; pos < text.size(); ++pos) {
        const QChar c = text.at(pos);
        if (c == QLatin1Char('\\') && pos + 1 < text.size()) {
            result += text.at(++pos);
        } else if (c == QLatin1Char('"')) {
            ++pos;
            return result;
        } else {
            result += c;
        }
    }
    return result;
}

bool ParseData(const QString& spec, Value& value) {
    if (spec.startsWith(QLatin1Char('"'))) {
        int pos = 0;
        value.type = REG_SZ;
        value.data = TakeQuoted(spec, pos).toLocal8Bit() + '\0';
        return true;
    }
    const QString lower = spec.toLower();
    if (lower.startsWith(QLatin1String("dword:"))) {
        bool ok = false;
        const quint32 number = spec.mid(6).trimmed().toUInt(&ok, 16);
        if (!ok)
            return false;
        value.type = REG_DWORD;
        value.data = QByteArray(4, '\0');
        for (int i = 0; i < 4; ++i)
            value.data[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
        return true;
    }
    int colon = lower.indexOf(QLatin1Char(':'));
    if (!lower.startsWith(QLatin1String("hex")) || colon < 0)
        return false;
    value.type = REG_BINARY;
    if (lower.startsWith(QLatin1String("hex("))) {
        bool ok = false;
        value.type = lower.mid(4, lower.indexOf(QLatin1Char(')')) - 4).toUInt(&ok, 16);
        if (!ok)
            return false;
    }
    for (const QString& byte : spec.mid(colon + 1).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const uint number = byte.trimmed().toUInt(&ok, 16);
        if (!ok || number > 0xFF)
            return false;
        value.data.append(static_cast<char>(number));
    }
    return true;
}

// Reads the key at `path` (lower case, below HKEY_LOCAL_MACHINE) from system.reg; false when
// the file or the key is missing.
bool ReadKey(const QString& path, Key& key) {
    QFile file(SystemDirectoryPath() + QStringLiteral("/system.reg"));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (lines.isEmpty())
        return false;
    const QString header = lines.takeFirst().trimmed().remove(QChar(0xFEFF));
    if (header != QLatin1String("Windows Registry Editor Version 5.00") &&
        header != QLatin1String("REGEDIT4"))
        return false;
    bool found = false;
    bool inKey = false;
    QString pending;
    for (const QString& raw : lines) {
        QString line = raw.trimmed();
        if (!pending.isEmpty()) {
            line = pending + line;
            pending.clear();
        }
        if (line.endsWith(QLatin1Char('\\')) && !line.startsWith(QLatin1Char('['))) {
            pending = line.chopped(1);
            continue;
        }
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            inKey = line.mid(1, line.lastIndexOf(QLatin1Char(']')) - 1).toLower() == path;
            found = found || inKey;
            continue;
        }
        if (!inKey)
            continue;
        QString name;
        int pos = 0;
        if (line.startsWith(QLatin1Char('@')))
            pos = 1;
        else if (line.startsWith(QLatin1Char('"')))
            name = TakeQuoted(line, pos);
        else
            continue;
        if (pos >= line.size() || line.at(pos) != QLatin1Char('='))
            continue;
        Value value;
        if (ParseData(line.mid(pos + 1).trimmed(), value))
            key.insert(name.toLower(), value);
    }
    return found;
}

QHash<HKEY, Key>& openKeys() {
    static QHash<HKEY, Key> keys;
    return keys;
}

} // namespace

long RegOpenKeyExA(HKEY root, const char* subKey, unsigned, unsigned, HKEY* result) {
    if (root != HKEY_LOCAL_MACHINE || result == nullptr)
        return ERROR_INVALID_HANDLE;
    Key key;
    if (!ReadKey(RootPath(QString::fromLocal8Bit(subKey)), key))
        return ERROR_FILE_NOT_FOUND;
    static HKEY nextHandle = 0x1000;
    *result = nextHandle++;
    openKeys().insert(*result, key);
    return ERROR_SUCCESS;
}

long RegQueryValueExA(HKEY key, const char* valueName, unsigned*, unsigned* type,
                      unsigned char* data, unsigned* dataSize) {
    const auto open = openKeys().constFind(key);
    if (open == openKeys().constEnd())
        return ERROR_INVALID_HANDLE;
    const auto found = open->constFind(QString::fromLocal8Bit(valueName).toLower());
    if (found == open->constEnd())
        return ERROR_FILE_NOT_FOUND;
    const auto size = static_cast<unsigned>(found->data.size());
    if (type != nullptr)
        *type = found->type;
    if (data != nullptr && (dataSize == nullptr || *dataSize < size)) {
        if (dataSize != nullptr)
            *dataSize = size;
        return ERROR_MORE_DATA;
    }
    if (data != nullptr)
        std::memcpy(data, found->data.constData(), size);
    if (dataSize != nullptr)
        *dataSize = size;
    return ERROR_SUCCESS;
}

long RegCloseKey(HKEY key) {
    return openKeys().remove(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

} // namespace platform
