#pragma once

// The face names that UiFont() is given.
#include "platform/Fonts.h"

#include <QColor>
#include <QFont>

class QLabel;
class QWidget;
#include <QString>

namespace platform {

// Every window calls this when its object is created; the first call sets up the style.
void InitCommonControls();

// Start-up's share of the desktop set-up: the font substitutions that let the Windows face names
// resolve to the Song and Kai faces installed here, and the user-interface font, 宋体 9 pt.
void SetUpApplication();

// A font of the given family and point size, sized in pixels at 96 dots per inch so that text
// keeps its proportion to the twip-based layout whatever the screen reports.
QFont UiFont(const QString& family, int points, bool bold = false);

// Sizes a label to its text as the layouts measure it: as wide as the text and as high as the
// font's pixel size, with the caption's strokes in the middle of that height. The layouts' heights
// are those of the Chinese faces, whose characters fill the em; the Latin face's ascent and
// descent would make the label taller. The label keeps its top-left corner, so it grows or
// shrinks to the right and downwards.
void FitLabelToText(QLabel* label);

// Sets the colour a label or other control draws its text in.
void SetTextColour(QWidget* widget, const QColor& colour);

// The application title: the product's name.
inline const QString kApplicationTitle = QStringLiteral("Orvandel");

} // namespace platform
