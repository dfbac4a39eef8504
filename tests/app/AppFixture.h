#pragma once

// The installer's window over a scripted engine, and what a user can see and reach in it.
#include "app/AgentApp.h"
#include "app/InstallState.h"
#include "app/InstallWorkerThread.h"
#include "exec/Error.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <type_traits>

namespace talvo::test {

const QString kOwnOption = QStringLiteral("I want to provide my own encryption passphrase");
const QString kManagedOption =
    QStringLiteral("I want to use a Talvo-managed encryption passphrase");

// Logs what it is asked to do, the passphrase it is given included. Its run(), called on the
// install worker thread, logs the call, waits while the engine is held, then does what the
// test or demo set.
class FakeInstallerBackend final : public InstallerBackend {
  public:
    // Set before the installation starts.
    std::function<void(const Config&)> onRun;
    std::atomic<bool> held = false;

    void run(const Config& config) override {
        const std::string key = config.encryptionKey ? " with key " + *config.encryptionKey : "";
        record(("run" + key).c_str());
        held.wait(true);
        if (onRun) {
            onRun(config);
        }
    }
    void bootstrap() override { record("bootstrap"); }
    void runStatusApp() override { record("runStatusApp"); }
    bool isInitialized() const override { return false; }
    void openURL(const std::string& url) override { record(("open " + url).c_str()); }

    // Lets a held run() go on; any number of times.
    void release() {
        held = false;
        held.notify_all();
    }

    // From any thread: the engine's calls and whatever else the test logs alongside them.
    void record(const QString& entry) {
        const std::lock_guard lock(mutex_);
        log_ << entry;
    }
    QStringList log() const {
        const std::lock_guard lock(mutex_);
        return log_;
    }

  private:
    mutable std::mutex mutex_;
    QStringList log_;
};

// Saved window frames go to a folder of the tests' own, emptied before each test.
inline void useFreshSettings() {
    static const QTemporaryDir folder;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.path());
    QCoreApplication::setOrganizationName("Talvo");
    QCoreApplication::setApplicationName("AgentInstallerTest");
    QSettings().clear();
}

// The texts of every visible label and button, once replaced screens have gone.
inline QStringList visibleTexts(const QWidget& root) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QStringList texts;
    for (const QWidget* widget : root.findChildren<QWidget*>()) {
        if (!widget->isVisible()) {
            continue;
        }
        if (const auto* label = qobject_cast<const QLabel*>(widget)) {
            texts << label->text();
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
            texts << button->text();
        }
    }
    return texts;
}

// The visible button with this text, or the visible field with this placeholder; fatal if none.
template <typename Widget> Widget& require(const QWidget& root, const QString& text) {
    const char* property = std::is_base_of_v<QLineEdit, Widget> ? "placeholderText" : "text";
    for (Widget* widget : root.findChildren<Widget*>()) {
        if (widget->isVisible() && widget->property(property).toString() == text) {
            return *widget;
        }
    }
    qFatal("nothing visible shows \"%s\"", qPrintable(text));
}

// Clicks where a user would: on a radio button's circle or the start of a label (a radio button
// stretched across the window reacts to nothing else).
inline void click(const QWidget& root, const QString& text) {
    QAbstractButton& button = require<QAbstractButton>(root, text);
    const QPoint where(std::min(8, button.width() / 2), button.height() / 2);
    QTest::mouseClick(&button, Qt::LeftButton, Qt::NoModifier, where);
}

// The installer's window on screen over a fake engine whose log also holds every write to the
// install state, marked when made off the UI thread.
struct Launched {
    Launched() {
        QObject::connect(&state, &InstallState::statusChanged, [this](InstallStatus status) {
            recordWrite("status " + QVariant::fromValue(status).toString());
        });
        QObject::connect(&state, &InstallState::showFDAViewChanged,
                         [this](bool show) { recordWrite("sheet " + QVariant(show).toString()); });
        window.show();
        if (!QTest::qWaitForWindowExposed(&window)) {
            qFatal("the window was never shown");
        }
    }
    // A test that stops early leaves no worker waiting for ever.
    ~Launched() { engine.release(); }

    void recordWrite(const QString& write) {
        const bool onUIThread = QThread::currentThread() == qApp->thread();
        engine.record(onUIThread ? write : write + " off the UI thread");
    }

    // The one visible sheet, or nothing when there is none or more than one.
    QDialog* sheet() const {
        QList<QDialog*> sheets = window.findChildren<QDialog*>();
        sheets.removeIf([](const QDialog* sheet) { return !sheet->isVisible(); });
        return sheets.size() == 1 ? sheets.front() : nullptr;
    }

    bool installEnabled() const { return require<QAbstractButton>(window, "Install").isEnabled(); }

    // Torn down from the bottom: the window, then the worker (which waits for the engine), the
    // state and the engine.
    FakeInstallerBackend engine;
    InstallState state;
    InstallWorkerThread worker{state, engine, nullptr};
    MainWindow window{state, worker, engine};
};

} // namespace talvo::test
