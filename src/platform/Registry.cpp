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

int HexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// "b1,b2,…" in one pass, however long the list: blanks around a byte are allowed, empty entries
// are skipped.
bool ParseHexBytes(QStringView list, QByteArray& bytes) {
    bytes.resize(list.size() / 2 + 1); // at least one character per byte and one per comma
    char* out = bytes.data();
    uint number = 0;
    bool inByte = false;
    bool byteEnded = false;
    for (const QChar c : list) {
        if (c == QLatin1Char(',')) {
            if (inByte)
                *out++ = static_cast<char>(number);
            number = 0;
            inByte = byteEnded = false;
        } else if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
            byteEnded = inByte;
        } else {
            const int digit = HexDigit(c);
            if (digit < 0 || byteEnded)
                return false;
            number = number * 16 + static_cast<uint>(digit);
            if (number > 0xFF)
                return false;
            inByte = true;
        }
    }
    if (inByte)
        *out++ = static_cast<char>(number);
    bytes.truncate(out - bytes.data());
    return true;
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
    return ParseHexBytes(QStringView(spec).mid(colon + 1), value.data);
}

// One entry of the file, continued lines joined: a key's header or a value of the current key.
void ReadEntry(const QString& line, const QString& path, bool& inKey, bool& found, Key& key) {
    if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
        return;
    if (line.startsWith(QLatin1Char('['))) {
        inKey = line.mid(1, line.lastIndexOf(QLatin1Char(']')) - 1).toLower() == path;
        found = found || inKey;
        return;
    }
    if (!inKey)
        return;
    QString name;
    int pos = 0;
    if (line.startsWith(QLatin1Char('@')))
        pos = 1;
    else if (line.startsWith(QLatin1Char('"')))
        name = TakeQuoted(line, pos);
    else
        return;
    if (pos >= line.size() || line.at(pos) != QLatin1Char('='))
        return;
    Value value;
    if (ParseData(line.mid(pos + 1).trimmed(), value))
        key.insert(name.toLower(), value);
}

// Reads the key at `path` (lower case, below HKEY_LOCAL_MACHINE) from system.reg in one pass
// over the file; false when the file or the key is missing.
bool ReadKey(const QString& path, Key& key) {
    QFile file(SystemDirectoryPath() + QStringLiteral("/system.reg"));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QString text = QString::fromUtf8(file.readAll());
    const QStringView all(text);
    qsizetype start = 0;
    const auto nextLine = [&all, &start]() {
        qsizetype end = all.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = all.size();
        const QStringView line = all.mid(start, end - start).trimmed();
        start = end + 1;
        return line;
    };
    QString header = nextLine().toString();
    header.remove(QChar(0xFEFF));
    if (header != QLatin1String("Windows Registry Editor Version 5.00") &&
        header != QLatin1String("REGEDIT4"))
        return false;
    bool found = false;
    bool inKey = false;
    QString entry; // grows by appending, so a long continued value costs its length once
    while (start < all.size()) {
        const QStringView line = nextLine();
        entry.append(line);
        if (entry.endsWith(QLatin1Char('\\')) && !entry.startsWith(QLatin1Char('['))) {
            entry.chop(1);
            continue;
        }
        ReadEntry(entry, path, inKey, found, key);
        entry.clear();
    }
    if (!entry.isEmpty())
        ReadEntry(entry, path, inKey, found, key);
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
