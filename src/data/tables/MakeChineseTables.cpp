// Writes the tables the search folds Chinese text with, at build time, from two data packages:
// OpenCC's character dictionary (traditional to simplified, one character at a time) and a pinyin
// input method's dictionary (each character's readings, with how often each is meant).
//
//   make-chinese-tables TS_CHARACTERS_CONFIG S2T_CONFIG PINYIN_DICTIONARY OUTPUT
#include <opencc.h>

#include <QFile>
#include <QHash>
#include <QList>
#include <QSaveFile>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A reading meant this seldom is left out: 會 as kuai (0.02 %) would match far more names wrongly
// than it finds; 了 as liao (1.1 %) and 地 as de (25.6 %) stay.
constexpr double kLeastShare = 1.0;

struct Reading {
    QString syllable;
    double share; // percent; 100 when the dictionary gives none
};

// The characters the tables cover: the unified ideographs of the basic plane and its first
// extension. Compatibility ideographs are folded to these before a lookup.
bool IsCovered(char32_t c) {
    return (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF);
}

class Converter {
public:
    explicit Converter(const char* config) : handle_(opencc_open(config)) {
        if (handle_ == reinterpret_cast<opencc_t>(-1)) {
            std::fprintf(stderr, "%s: %s\n", config, opencc_error());
            std::exit(1);
        }
    }
    ~Converter() { opencc_close(handle_); }
    // The character's one converted form; itself when there is none or it is not one character.
    char32_t Convert(char32_t c) const {
        const QByteArray in = QString::fromUcs4(&c, 1).toUtf8();
        char* out = opencc_convert_utf8(handle_, in.constData(), size_t(in.size()));
        const QList<uint> result = QString::fromUtf8(out).toUcs4();
        opencc_convert_utf8_free(out);
        return result.size() == 1 && IsCovered(result[0]) ? result[0] : c;
    }

private:
    opencc_t handle_;
};

QHash<char32_t, QList<Reading>> ReadDictionary(const char* path) {
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "%s: cannot read\n", path);
        std::exit(1);
    }
    QHash<char32_t, QList<Reading>> readings;
    bool inEntries = false; // the entries follow the header's "..." line
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line == QLatin1String("...")) {
            inEntries = true;
            continue;
        }
        if (!inEntries || line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList fields = line.split(QLatin1Char('\t'));
        const QList<uint> text = fields[0].toUcs4();
        if (fields.size() < 2 || text.size() != 1 || !IsCovered(text[0]))
            continue;
        double share = 100;
        if (fields.size() > 2 && fields[2].endsWith(QLatin1Char('%')))
            share = fields[2].chopped(1).toDouble();
        readings[text[0]].append({fields[1], share});
    }
    return readings;
}

// A character's common readings, most often meant first. The dictionary is written for
// traditional text: a simplified character is looked up as its traditional form, as 广 as 廣 (the
// dictionary's own entry for 广 is an old character read yan).
QStringList CommonReadings(char32_t c, const QHash<char32_t, QList<Reading>>& dictionary,
                           const Converter& toTraditional) {
    const char32_t traditional = toTraditional.Convert(c);
    QList<Reading> readings =
        dictionary.value(traditional != c && dictionary.contains(traditional) ? traditional : c);
    std::stable_sort(readings.begin(), readings.end(),
                     [](const Reading& a, const Reading& b) { return a.share > b.share; });
    QStringList common;
    for (const Reading& reading : readings)
        if (reading.share >= kLeastShare && !common.contains(reading.syllable))
            common.append(reading.syllable);
    return common;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s TS_CHARACTERS_CONFIG S2T_CONFIG PINYIN_DICTIONARY OUTPUT\n",
                     argv[0]);
        return 2;
    }
    const Converter toSimplified(argv[1]);
    const Converter toTraditional(argv[2]);
    const QHash<char32_t, QList<Reading>> dictionary = ReadDictionary(argv[3]);

    QString simplified;
    QString readings;
    QTextStream simplifiedOut(&simplified);
    QTextStream readingsOut(&readings);
    int pairs = 0;
    int read = 0;
    for (char32_t c = 0x3400; c <= 0x9FFF; ++c) {
        if (!IsCovered(c))
            continue;
        const char32_t to = toSimplified.Convert(c);
        if (to != c) {
            simplifiedOut << "{0x" << Qt::hex << uint(c) << ",0x" << uint(to) << "},\n";
            ++pairs;
        }
        const QStringList common = CommonReadings(c, dictionary, toTraditional);
        if (!common.isEmpty()) {
            readingsOut << "{0x" << Qt::hex << uint(c) << ",\"" << common.join(QLatin1Char(' '))
                        << "\"},\n";
            ++read;
        }
    }
    if (pairs < 1000 || read < 10000) {
        std::fprintf(stderr, "too few entries: %d conversions, %d characters with readings\n",
                     pairs, read);
        return 1;
    }
    QSaveFile out(QString::fromLocal8Bit(argv[4]));
    if (!out.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "%s: cannot write\n", argv[4]);
        return 1;
    }
    const QString text =
        QStringLiteral("// Made at build time by make-chinese-tables; not to be edited.\n"
                       "const SimplifiedForm kSimplifiedForms[] = {\n%1};\n"
                       "const CharacterReadings kCharacterReadings[] = {\n%2};\n")
            .arg(simplified, readings);
    out.write(text.toUtf8());
    return out.commit() ? 0 : 1;
}
