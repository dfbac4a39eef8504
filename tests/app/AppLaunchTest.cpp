// Launching the installer: the already-configured shortcut, the first window, its saved frame
// and quitting by closing it.
#include "FakeInstallEngine.h"
#include "UserView.h"
#include "app/AppDelegate.h"

#include <QApplication>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdlib>

using talvo::AppDelegate;
using talvo::testing::cutOffTexts;
using talvo::testing::FakeInstallEngine;
using talvo::testing::visibleTexts;

class AppLaunchTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        QVERIFY(settingsFolder_.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder_.path());
        QCoreApplication::setOrganizationName("Talvo");
        QCoreApplication::setApplicationName("AgentInstallerTest");
    }

    void init() { QSettings().clear(); }

    void alreadyConfiguredOpensStatusAppAndQuits() {
        FakeInstallEngine engine(FakeInstallEngine::Behaviour::succeed, /*initialized=*/true);
        AppDelegate delegate(engine);
        QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
        // Ends the loop with another code should the installer fail to quit by itself.
        QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });

        QCOMPARE(QApplication::exec(), 0);
        QCOMPARE(engine.calls(), std::vector<std::string>{"runStatusApp"});
    }

    void firstLaunchShowsCentredPassphraseWindow() {
        FakeInstallEngine engine;
        AppDelegate delegate(engine);
        QSignalSpy quitting(qApp, &QCoreApplication::aboutToQuit);
        delegate.applicationDidFinishLaunching();
        QWidget& window = *delegate.window();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        // 700 wide, centred; only as much taller than 400 as this desktop's fonts need.
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(window.width(), 700);
        QVERIFY(window.height() >= 400 && window.height() <= 440);
        QCOMPARE(window.geometry().center().x(), screen.center().x());
        QVERIFY(std::abs(window.geometry().top() - (screen.center().y() - 200)) <= 1);
        QVERIFY(window.windowTitle().isEmpty());
        QVERIFY(window.minimumSize() != window.maximumSize());
        const QStringList texts = visibleTexts(window);
        QVERIFY(texts.contains("Talvo Backup Agent Installer"));
        QVERIFY(texts.contains("Talvo Backup Agent Encryption Setup"));
        QCOMPARE(cutOffTexts(window), QStringList{});
        QVERIFY(engine.calls().empty());
        QCOMPARE(quitting.count(), 0);

        // Narrowed as far as it goes, the window grows taller rather than cut a line off.
        window.resize(window.minimumWidth(), window.height());
        QTRY_COMPARE(window.width(), window.minimumWidth());
        QTRY_COMPARE(cutOffTexts(window), QStringList{});
    }

    void secondLaunchRestoresTheSavedFrame() {
        const QRect moved(40, 30, 760, 480);
        {
            FakeInstallEngine engine;
            AppDelegate delegate(engine);
            delegate.applicationDidFinishLaunching();
            QWidget& window = *delegate.window();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            window.setGeometry(moved);
            QTRY_COMPARE(window.geometry(), moved);
            window.close();
        }
        FakeInstallEngine engine;
        AppDelegate delegate(engine);
        delegate.applicationDidFinishLaunching();
        QWidget& window = *delegate.window();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.geometry(), moved);
    }

    void closingTheWindowQuitsOnAnyScreen() {
        FakeInstallEngine engine(FakeInstallEngine::Behaviour::block);
        AppDelegate delegate(engine);
        QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
        QTimer::singleShot(0, [&delegate] {
            // Mid-installation, on the progress screen.
            talvo::testing::visibleButton(*delegate.window(), "Install")->click();
            QTimer::singleShot(50, delegate.window(), &QWidget::close);
        });
        QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });

        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(delegate.isInstalling());
        engine.release();
    }

  private:
    QTemporaryDir settingsFolder_;
};

QTEST_MAIN(AppLaunchTest)
#include "AppLaunchTest.moc"
