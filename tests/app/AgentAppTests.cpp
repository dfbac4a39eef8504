// The installer's shell: the launch (and its already-configured shortcut), the window's first
// frame and the saved one, and closing the window while an installation runs and after.
#include "AppFixture.h"

#include <QScreen>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <qpa/qwindowsysteminterface.h>
#include <thread>

using namespace talvo;
using namespace talvo::testing;

namespace {

// A close request as the title bar's close button makes it: through the window system, which
// drops it for a window that a modal window blocks. QWidget::close() would skip that check.
bool requestClose(const QWidget& window) {
    return QWindowSystemInterface::handleCloseEvent<QWindowSystemInterface::SynchronousDelivery>(
        window.windowHandle());
}

} // namespace

class AgentAppTests : public QObject {
    Q_OBJECT

  private slots:
    void init() { useFreshSettings(); }

    void launchShowsTheWindowUnlessConfiguredThenOpensStatusAppAndQuits() {
        FakeInstallerBackend engine;
        AppDelegate first(engine);
        first.applicationDidFinishLaunching();
        QVERIFY(QTest::qWaitForWindowExposed(first.window()));
        QCOMPARE(first.installState()->status(), InstallStatus::idle);
        QVERIFY(!first.installState()->showFDAView());

        engine.configured = true;
        AppDelegate configured(engine);
        QTimer::singleShot(0, &configured, &AppDelegate::applicationDidFinishLaunching);
        // Ends the loop with another code should the installer fail to quit by itself.
        QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
        QCOMPARE(QApplication::exec(), 0);
        QCOMPARE(engine.log(), QStringList{"runStatusApp"});
    }

    // The delegate's teardown waits for an engine call in progress instead of destroying a
    // running thread, and nothing reaches the state it has already dropped.
    void quittingDuringAnInstallationWaitsForTheEngine() {
        FakeInstallerBackend engine;
        engine.held = true;
        std::thread releaser;
        {
            AppDelegate delegate(engine);
            delegate.applicationDidFinishLaunching();
            click(*delegate.window(), "Install");
            QTRY_COMPARE(engine.log(), QStringList{"run"});
            // The UI thread is about to block in the teardown; the engine goes on meanwhile.
            releaser = std::thread([&engine] {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                engine.release();
            });
        }
        releaser.join();
        QCOMPARE(engine.log(), (QStringList{"run", "bootstrap", "runStatusApp"}));
        QCoreApplication::sendPostedEvents();
    }

    void firstLaunchIsCentredAndTheNextRestoresTheFrame() {
        const QRect moved(40, 30, 760, 480);
        {
            Launched app;
            QWidget& window = app.window;
            // 700 wide, centred; only as much taller than 400 as this desktop's fonts need.
            const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
            QCOMPARE(window.width(), 700);
            QVERIFY(window.height() >= 400 && window.height() <= 440);
            QCOMPARE(window.geometry().center().x(), screen.center().x());
            QVERIFY(std::abs(window.geometry().top() - (screen.center().y() - 200)) <= 1);
            QCOMPARE(cutOffTexts(window), QStringList{});
            // Narrowed as far as it goes, the window grows taller rather than cut a line off.
            window.resize(window.minimumWidth(), window.height());
            QTRY_COMPARE(window.width(), window.minimumWidth());
            QTRY_COMPARE(cutOffTexts(window), QStringList{});

            window.setGeometry(moved);
            QTRY_COMPARE(window.geometry(), moved);
            window.close();
        }
        Launched app;
        QCOMPARE(app.window.geometry(), moved);
    }

    void closeRequestWaitsForTheInstallationThenQuitsWhateverThePromptShows() {
        Launched app;
        app.engine.held = true;
        click(app.window, "Install");
        QTRY_COMPARE(app.engine.log(), (QStringList{"status installing", "run"}));
        QVERIFY(!requestClose(app.window));
        QVERIFY(app.window.isVisible());

        app.engine.release();
        QTRY_VERIFY(app.sheet());
        QTRY_VERIFY(!app.worker.isRunning());
        // From inside the event loop, where the last window's closing quits the application.
        QTimer::singleShot(0, [&app] { QVERIFY(requestClose(app.window)); });
        QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!app.window.isVisible());
    }
};

QTEST_MAIN(AgentAppTests)
#include "AgentAppTests.moc"
