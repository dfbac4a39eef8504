#pragma once

// A scripted engine, and what a user can see and reach in the installer's windows.
#include "app/InstallEngine.h"
#include "exec/Error.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace talvo::testing {

// Records what it is asked to do. Its run(), called on the installation's worker thread,
// succeeds, throws the engine's error, or blocks until the test releases it.
class FakeInstallEngine final : public InstallEngine {
  public:
    enum class Behaviour { succeed, fail, block };

    // Both set before the installation starts.
    Behaviour behaviour = Behaviour::succeed;
    bool configured = false;

    void run(const Config& config) override {
        record("run", config);
        if (behaviour == Behaviour::fail) {
            throw commandError(3);
        }
        if (behaviour == Behaviour::block) {
            released_.wait(false);
        }
    }
    void bootstrap() override { record("bootstrap"); }
    void runStatusApp() override { record("runStatusApp"); }
    bool isInitialized() const override { return configured; }
    void openURL(const std::string& url) override { record("open " + url); }

    // Lets a blocked run() return; any number of times.
    void release() {
        released_ = true;
        released_.notify_all();
    }

    std::vector<std::string> calls() const {
        const std::lock_guard lock(mutex_);
        return calls_;
    }
    std::optional<Config> lastConfig() const {
        const std::lock_guard lock(mutex_);
        return lastConfig_;
    }

  private:
    void record(std::string call, std::optional<Config> config = std::nullopt) {
        const std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
        if (config) {
            lastConfig_ = std::move(config);
        }
    }

    mutable std::mutex mutex_;
    std::atomic<bool> released_ = false;
    std::vector<std::string> calls_;
    std::optional<Config> lastConfig_;
};

// The texts of every visible label and button, and the placeholders of visible empty fields.
inline QStringList visibleTexts(const QWidget& root) {
    QStringList texts;
    for (const QWidget* widget : root.findChildren<QWidget*>()) {
        if (!widget->isVisible()) {
            continue;
        }
        if (const auto* label = qobject_cast<const QLabel*>(widget)) {
            texts << label->text();
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
            texts << button->text();
        } else if (const auto* field = qobject_cast<const QLineEdit*>(widget);
                   field && field->text().isEmpty()) {
            texts << field->placeholderText();
        }
    }
    return texts;
}

// The visible wrapped labels given fewer lines than their text needs at their width.
inline QStringList cutOffTexts(const QWidget& root) {
    QStringList texts;
    for (const QLabel* label : root.findChildren<QLabel*>()) {
        if (label->isVisible() && label->wordWrap() &&
            label->height() < label->heightForWidth(label->width())) {
            texts << label->text();
        }
    }
    return texts;
}

// The visible button with this text, or the visible field with this placeholder; or nothing.
template <typename Widget> Widget* visible(const QWidget& root, const QString& text) {
    const char* shown = std::is_base_of_v<QLineEdit, Widget> ? "placeholderText" : "text";
    for (Widget* widget : root.findChildren<Widget*>()) {
        if (widget->isVisible() && widget->property(shown).toString() == text) {
            return widget;
        }
    }
    return nullptr;
}

// The same, for a widget the test goes on to use.
template <typename Widget> Widget& require(const QWidget& root, const QString& text) {
    Widget* found = visible<Widget>(root, text);
    if (!found) {
        qFatal("nothing visible shows \"%s\"", qPrintable(text));
    }
    return *found;
}

// Clicks where a user would: on a radio button's circle or the start of a label (a radio button
// stretched across the window reacts to nothing else).
inline void click(const QWidget& root, const QString& text) {
    QAbstractButton& button = require<QAbstractButton>(root, text);
    const QPoint where(std::min(8, button.width() / 2), button.height() / 2);
    QTest::mouseClick(&button, Qt::LeftButton, Qt::NoModifier, where);
}

// Types key by key, letters outside ASCII included (QTest's own typing knows ASCII only).
inline void typeInto(const QWidget& root, const QString& placeholder, const QString& text) {
    QLineEdit& field = require<QLineEdit>(root, placeholder);
    field.setFocus();
    for (const QChar character : text) {
        const auto key =
            character.unicode() < 0x80 ? Qt::Key(character.toUpper().unicode()) : Qt::Key_unknown;
        QTest::sendKeyEvent(QTest::Click, &field, key, QString(character), Qt::NoModifier);
    }
}

// The one visible dialog window (the sheet), or nothing when there is none or more than one.
inline QDialog* visibleSheet() {
    QList<QDialog*> shown;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QDialog*>(window); dialog && dialog->isVisible()) {
            shown << dialog;
        }
    }
    return shown.size() == 1 ? shown.front() : nullptr;
}

} // namespace talvo::testing
