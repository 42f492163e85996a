#include "exchange/CellText.h"

#include <QRegularExpression>

namespace exchange {
namespace {

bool LooksLikeAFormula(const QString& text) {
    static const QString starts = QStringLiteral("=+-@\t\r");
    if (text.isEmpty())
        return false;
    // An apostrophe before such a text is guarded too, so that taking one off gives it back.
    return starts.contains(text.at(0)) ||
           (text.at(0) == QLatin1Char('\'') && LooksLikeAFormula(text.mid(1)));
}

} // namespace

bool WholeNumberText(QString& text, QString* reason) {
    if (text.isEmpty())
        return true;
    QString plain = text;
    static const QRegularExpression grouped(
        QStringLiteral("^[+-]?\\d{1,3}([,\\x{00A0} ]\\d{3})+(\\.\\d*)?$"));
    if (grouped.match(plain).hasMatch())
        plain.remove(QRegularExpression(QStringLiteral("[,\\x{00A0} ]")));
    static const QRegularExpression number(
        QStringLiteral("^([+-]?)(\\d*)(?:\\.(\\d*))?(?:[eE]([+-]?\\d{1,4}))?$"));
    const QRegularExpressionMatch parts = number.match(plain);
    if (!parts.hasMatch() || (parts.captured(2).isEmpty() && parts.captured(3).isEmpty())) {
        *reason = QStringLiteral("not a number");
        return false;
    }
    // The digits and where the point falls after the exponent moves it.
    QString digits = parts.captured(2) + parts.captured(3);
    int point = int(parts.captured(2).size()) + parts.captured(4).toInt();
    if (point < digits.size()) {
        const QString fraction = digits.mid(qMax(point, 0));
        if (fraction.count(QLatin1Char('0')) != fraction.size()) {
            *reason = QStringLiteral("not a whole number");
            return false;
        }
        digits.truncate(qMax(point, 0));
    } else {
        digits += QString(point - digits.size(), QLatin1Char('0'));
    }
    while (digits.size() > 1 && digits.startsWith(QLatin1Char('0')))
        digits.remove(0, 1);
    if (digits.isEmpty())
        digits = QStringLiteral("0");
    const QString whole = (parts.captured(1) == QLatin1String("-") && digits != QLatin1String("0")
                               ? QStringLiteral("-")
                               : QString()) +
                          digits;
    bool fits = false;
    whole.toLongLong(&fits);
    if (!fits) {
        *reason = QStringLiteral("a number too large to store");
        return false;
    }
    text = whole;
    return true;
}

QString Guarded(const QString& text) {
    return LooksLikeAFormula(text) ? QLatin1Char('\'') + text : text;
}

QString Unguarded(const QString& text) {
    return text.startsWith(QLatin1Char('\'')) && LooksLikeAFormula(text.mid(1)) ? text.mid(1)
                                                                                : text;
}

} // namespace exchange
