#pragma once

#include <QStringList>

class QAbstractButton;
class QLineEdit;
class QWidget;

// What a user can see and reach in a window: visible texts and controls found by their text.
namespace talvo::testing {

// The texts of every visible label and button, and the placeholders of visible empty fields.
QStringList visibleTexts(const QWidget& root);

// The texts of visible labels given fewer lines than their wrapped text needs at their width.
QStringList cutOffTexts(const QWidget& root);

// The visible button with this text, or nothing.
QAbstractButton* visibleButton(const QWidget& root, const QString& text);

// The visible text field with this placeholder, or nothing.
QLineEdit* visibleField(const QWidget& root, const QString& placeholder);

// Clicks the button where a user would: on its indicator or the start of its label.
void click(QAbstractButton* button);

// Types the text key by key into the widget, letters outside ASCII included.
void typeInto(QWidget* widget, const QString& text);

// The visible dialog windows the application shows, the sheet among them.
QList<QWidget*> visibleDialogs();

} // namespace talvo::testing
