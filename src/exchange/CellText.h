#pragma once

#include <QString>

// Cell texts as spreadsheet programs write and read them.
namespace exchange {

// A whole number as a spreadsheet may write one (thousands separators "12,345" or "12 345", a
// zero fraction "12000.0", an exponent that leaves it whole "1.2E+05") turned into its plain
// digits in place; false, with the reason in words, for anything else. Empty text stays empty.
bool WholeNumberText(QString& text, QString* reason);

// A text that a spreadsheet would take for a formula (it starts with =, +, -, @, a tab or a
// carriage return) is written with an apostrophe before it, which spreadsheets show as text;
// Unguarded() takes it off again, so that a text goes out and comes back as it was.
QString Guarded(const QString& text);
QString Unguarded(const QString& text);

} // namespace exchange
