// The root view as a user meets it: the screens in the order the state takes them, and the Full
// Disk Access sheet that follows the state over the success screen.
#include "AppFixture.h"

#include <stdexcept>

using namespace talvo;
using namespace talvo::test;

class ContentViewTests : public QObject {
    Q_OBJECT

  private slots:
    void init() { useFreshSettings(); }

    void installShowsEachScreenAndThePromptThatFollowsTheState() {
        Launched app;
        click(app.window, "Install");
        QVERIFY(visibleTexts(app.window).contains("Installing..."));
        QTRY_VERIFY(app.sheet());
        // Opening the settings leaves the prompt up; Dismiss takes it down and the state follows.
        click(*app.sheet(), "Open System Settings");
        QVERIFY(app.sheet());
        click(*app.sheet(), "Dismiss");
        QVERIFY(!app.sheet());
        QVERIFY(visibleTexts(app.window).contains("Installation Successful!"));
        // Installed is final: no second installation in the same run.
        QTRY_VERIFY(!app.worker.isRunning());
        QVERIFY(!app.worker.install(Config{}));
        QCOMPARE(app.engine.log(),
                 (QStringList{"status installing", "run", "bootstrap", "runStatusApp",
                              "status installed", "sheet true",
                              "open x-apple.systempreferences:com.apple.preference.security"
                              "?Privacy_AllFiles",
                              "sheet false"}));
    }

    // Whatever escapes the engine ends the installation as failed, on the UI thread, rather than
    // ending the process on the worker's.
    void anyFailureOfTheEngineShowsTheFailureScreenAndNothingElse() {
        Launched app;
        app.engine.onRun = [](const Config&) { throw std::runtime_error("could not spawn"); };
        click(app.window, "Install");
        QTRY_COMPARE(app.state.status(), InstallStatus::failed);
        QTest::qWait(50); // for any stray later write or call to arrive
        QVERIFY(visibleTexts(app.window)
                    .contains("Installation Failed. Please contact your support for assistance."));
        QCOMPARE(app.engine.log(), (QStringList{"status installing", "run", "status failed"}));
    }
};

QTEST_MAIN(ContentViewTests)
#include "ContentViewTests.moc"
