#include "data/ChineseText.h"

#include "data/DbError.h"

#include <QSet>
#include <algorithm>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

namespace chinese {
namespace {

struct SimplifiedForm {
    char16_t from;
    char16_t to;
};
struct CharacterReadings {
    char16_t character;
    const char* readings; // syllables, most often meant first, separated by spaces
};

#include "data/ChineseTables.inc"

const SimplifiedForm* FindSimplified(char16_t c) {
    const auto end = std::end(kSimplifiedForms);
    const auto it =
        std::lower_bound(std::begin(kSimplifiedForms), end, c,
                         [](const SimplifiedForm& e, char16_t k) { return e.from < k; });
    return it != end && it->from == c ? it : nullptr;
}

const CharacterReadings* FindReadings(char32_t c) {
    const auto end = std::end(kCharacterReadings);
    const auto it =
        std::lower_bound(std::begin(kCharacterReadings), end, c,
                         [](const CharacterReadings& e, char32_t k) { return e.character < k; });
    return it != end && it->character == c ? it : nullptr;
}

const icu::Normalizer2& CaseFolding() {
    static const icu::Normalizer2* const normalizer = [] {
        UErrorCode status = U_ZERO_ERROR;
        const icu::Normalizer2* instance = icu::Normalizer2::getNFKCCasefoldInstance(status);
        if (U_FAILURE(status))
            throw db::Error(db::ErrorKind::Other,
                            QStringLiteral("Unicode case folding is not available: %1")
                                .arg(QString::fromLatin1(u_errorName(status))));
        return instance;
    }();
    return *normalizer;
}

QString CaseFolded(const QString& text) {
    const icu::Normalizer2& folding = CaseFolding();
    UErrorCode status = U_ZERO_ERROR;
    // An alias, not a copy: most texts are folded already and are then returned as they are.
    const icu::UnicodeString source(false, reinterpret_cast<const UChar*>(text.utf16()),
                                    int32_t(text.size()));
    if (folding.isNormalized(source, status) && U_SUCCESS(status))
        return text;
    status = U_ZERO_ERROR;
    const icu::UnicodeString folded = folding.normalize(source, status);
    if (U_FAILURE(status))
        return text;
    return QString(reinterpret_cast<const QChar*>(folded.getBuffer()), folded.length());
}

// The syllables every character may be read as, for reading typed letters.
const QSet<QString>& Syllables() {
    static const QSet<QString> syllables = [] {
        QSet<QString> all;
        for (const CharacterReadings& entry : kCharacterReadings)
            for (const QString& syllable :
                 QString::fromLatin1(entry.readings).split(QLatin1Char(' ')))
                all.insert(syllable);
        return all;
    }();
    return syllables;
}

// Every way to read the letters as whole syllables, each as a list of them.
QList<QStringList> Readings(const QString& letters) {
    // ways[i]: the readings of letters.mid(i); filled from the end.
    QList<QList<QStringList>> ways(letters.size() + 1);
    ways[letters.size()] = {QStringList()};
    constexpr int kLongestSyllable = 6; // "zhuang", "shuang"
    for (qsizetype start = letters.size() - 1; start >= 0; --start) {
        for (int length = 1; length <= kLongestSyllable && start + length <= letters.size();
             ++length) {
            const QString syllable = letters.mid(start, length);
            if (!Syllables().contains(syllable))
                continue;
            for (const QStringList& rest : ways[start + length]) {
                if (ways[start].size() == kMostReadings)
                    break;
                ways[start].append(QStringList{syllable} + rest);
            }
        }
    }
    return ways[0];
}

// One run of Chinese characters: the readings of each.
using Run = QList<QStringList>;

// The spellings of a run, one reading a character, in the order of an odometer whose wheels
// start at each character's most common reading; at most kMostSpellings.
QList<QStringList> Spellings(const Run& run) {
    QList<QStringList> spellings;
    QList<int> wheel(run.size(), 0);
    while (spellings.size() < kMostSpellings) {
        QStringList spelling;
        for (qsizetype i = 0; i < run.size(); ++i)
            spelling.append(run[i][wheel[i]]);
        spellings.append(spelling);
        qsizetype i = run.size() - 1;
        while (i >= 0 && ++wheel[i] == run[i].size())
            wheel[i--] = 0;
        if (i < 0)
            break;
    }
    return spellings;
}

QList<Run> RunsOf(const QString& name) {
    QList<Run> runs;
    Run current;
    for (const char32_t c : CaseFolded(name).toUcs4()) {
        if (QChar::isSpace(c))
            continue;
        const QStringList readings = ReadingsOf(c);
        if (readings.isEmpty()) {
            if (!current.isEmpty())
                runs.append(current);
            current.clear();
            continue;
        }
        current.append(readings);
    }
    if (!current.isEmpty())
        runs.append(current);
    return runs;
}

} // namespace

QStringList ReadingsOf(char32_t character) {
    const CharacterReadings* entry = FindReadings(character);
    return entry ? QString::fromLatin1(entry->readings).split(QLatin1Char(' ')) : QStringList();
}

QString Folded(const QString& text) {
    QString folded = CaseFolded(text);
    QString result;
    result.reserve(folded.size());
    bool space = false;
    for (const QChar c : folded) {
        if (c.isSpace()) {
            space = !result.isEmpty();
            continue;
        }
        if (space)
            result.append(QLatin1Char(' '));
        space = false;
        const SimplifiedForm* simplified = FindSimplified(c.unicode());
        result.append(simplified ? QChar(simplified->to) : c);
    }
    return result;
}

Pinyin PinyinOf(const QString& name) {
    QStringList syllables;
    QStringList initials;
    for (const Run& run : RunsOf(name)) {
        for (const QStringList& spelling : Spellings(run)) {
            syllables.append(QLatin1Char(' ') + spelling.join(QLatin1Char(' ')) + QLatin1Char(' '));
            QString first;
            for (const QString& syllable : spelling)
                first.append(syllable.at(0));
            if (!initials.contains(first))
                initials.append(first);
        }
    }
    if (syllables.isEmpty())
        return {};
    const auto barred = [](const QStringList& parts) {
        return QLatin1Char('|') + parts.join(QLatin1Char('|')) + QLatin1Char('|');
    };
    return {barred(syllables), barred(initials)};
}

bool MayBePinyin(const QString& folded) {
    bool letter = false;
    for (const QChar c : folded) {
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            letter = true;
        else if (c != QLatin1Char(' ') && c != QLatin1Char('\''))
            return false;
    }
    return letter;
}

QString Letters(const QString& folded) {
    QString letters = folded;
    letters.remove(QLatin1Char(' '));
    letters.remove(QLatin1Char('\''));
    return letters;
}

QStringList SyllableRuns(const QString& folded) {
    // Each part between the typed boundaries is read on its own; the runs are their products.
    QList<QStringList> runs = {QStringList()};
    QString separated = folded;
    separated.replace(QLatin1Char('\''), QLatin1Char(' '));
    for (const QString& part : separated.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        QList<QStringList> longer;
        for (const QStringList& reading : Readings(part))
            for (const QStringList& run : runs)
                if (longer.size() < kMostReadings)
                    longer.append(run + reading);
        runs = longer;
    }
    QStringList patterns;
    for (const QStringList& run : runs)
        if (!run.isEmpty())
            patterns.append(QLatin1Char(' ') + run.join(QLatin1Char(' ')) + QLatin1Char(' '));
    return patterns;
}

} // namespace chinese
