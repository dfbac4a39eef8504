#pragma once

#include <QColor>
#include <QFont>

class QWidget;

// The installer's look: the desktop's text styles, colours and default padding, at the sizes
// the screens are laid out for.
namespace talvo::appearance {

enum class TextStyle { largeTitle, title, title2, title3, body, footnote };

QFont font(TextStyle style, QFont::Weight weight = QFont::Normal);

// Space that views leave around themselves unless told otherwise.
inline constexpr int defaultPadding = 10;

QColor accentColor();
QColor greenColor();
QColor windowBackgroundColor();

// Draws a label's text in the dimmer colour used for supporting text.
void useSecondaryTextColor(QWidget& widget);

} // namespace talvo::appearance
