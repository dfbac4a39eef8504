#include "UserView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <algorithm>

namespace talvo::testing {

namespace {

// Visible on screen: shown itself and in a shown window, not merely not hidden.
bool isShown(const QWidget& widget) {
    return widget.isVisible();
}

} // namespace

QStringList visibleTexts(const QWidget& root) {
    QStringList texts;
    for (const QWidget* widget : root.findChildren<QWidget*>()) {
        if (!isShown(*widget)) {
            continue;
        }
        if (const auto* label = qobject_cast<const QLabel*>(widget)) {
            texts << label->text();
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
            texts << button->text();
        } else if (const auto* field = qobject_cast<const QLineEdit*>(widget)) {
            if (field->text().isEmpty()) {
                texts << field->placeholderText();
            }
        }
    }
    return texts;
}

QStringList cutOffTexts(const QWidget& root) {
    QStringList texts;
    for (const QLabel* label : root.findChildren<QLabel*>()) {
        if (isShown(*label) && label->wordWrap() &&
            label->height() < label->heightForWidth(label->width())) {
            texts << label->text();
        }
    }
    return texts;
}

QAbstractButton* visibleButton(const QWidget& root, const QString& text) {
    for (QAbstractButton* button : root.findChildren<QAbstractButton*>()) {
        if (isShown(*button) && button->text() == text) {
            return button;
        }
    }
    return nullptr;
}

QLineEdit* visibleField(const QWidget& root, const QString& placeholder) {
    for (QLineEdit* field : root.findChildren<QLineEdit*>()) {
        if (isShown(*field) && field->placeholderText() == placeholder) {
            return field;
        }
    }
    return nullptr;
}

void click(QAbstractButton* button) {
    // A radio button stretched across the window reacts only to its circle and its label.
    const QPoint where(std::min(8, button->width() / 2), button->height() / 2);
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, where);
}

void typeInto(QWidget* widget, const QString& text) {
    for (const QChar character : text) {
        // What a keyboard layout with that letter on a key sends; QTest's own typing only
        // knows ASCII.
        const auto key =
            character.unicode() < 0x80 ? Qt::Key(character.toUpper().unicode()) : Qt::Key_unknown;
        QTest::sendKeyEvent(QTest::Click, widget, key, QString(character), Qt::NoModifier);
    }
}

QList<QWidget*> visibleDialogs() {
    QList<QWidget*> dialogs;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && qobject_cast<QDialog*>(window)) {
            dialogs << window;
        }
    }
    return dialogs;
}

} // namespace talvo::testing
