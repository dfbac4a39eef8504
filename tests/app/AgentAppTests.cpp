// The installer's shell: quitting while an installation runs, and closing the window during an
// installation and after.
#include "AppFixture.h"

#include <QTimer>
#include <chrono>
#include <qpa/qwindowsysteminterface.h>
#include <thread>

using namespace talvo;
using namespace talvo::test;

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
