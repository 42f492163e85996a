#pragma once

#include <QString>
#include <QStringList>

// Chinese text as a search compares it: traditional and simplified characters alike, full- and
// half-width forms alike, and names found by their pinyin.
namespace chinese {

// The text with Latin case, full- and half-width forms ignored (Unicode's NFKC case folding),
// traditional characters as simplified ones (one character at a time, so that a part of a text
// folds as it does inside the whole), each run of white space as one space, none at the ends.
QString Folded(const QString& text);

// A name's pinyin for a search key. Each run of Chinese characters (white space inside a run does
// not end it; any other character does) is spelled in each combination of its characters' common
// readings, up to kMostSpellings of them, most often meant first.
// syllables: "| zhong guo yuan yang | chong guo yuan yang |": each spelling between bars, each
//            syllable between spaces, so that a part matches only at whole syllables;
// initials:  "|zgyy|cgyy|": each spelling's first letters.
// Both are empty when the name has no Chinese character with a known reading.
struct Pinyin {
    QString syllables;
    QString initials;
};
Pinyin PinyinOf(const QString& name);
inline constexpr int kMostSpellings = 16;

// Whether a typed text, folded, may be pinyin: Latin letters, with spaces or apostrophes between
// syllables, and nothing else.
bool MayBePinyin(const QString& folded);
// The typed letters as runs of whole syllables, for a search in PinyinOf().syllables: each way
// of reading them as syllables (an apostrophe or a space marks a boundary, as in "xi'an"), as
// " xi an "; at most kMostReadings ways, none when the letters are no syllables.
QStringList SyllableRuns(const QString& folded);
// The typed letters alone, for a search in PinyinOf().initials.
QString Letters(const QString& folded);
inline constexpr int kMostReadings = 8;

// A character's common readings, most often meant first; empty when it has none known.
QStringList ReadingsOf(char32_t character);

} // namespace chinese
