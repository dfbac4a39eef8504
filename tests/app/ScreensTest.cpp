// What the window shows for each install status, and the Full Disk Access sheet over it.
#include "FakeInstallEngine.h"
#include "UserView.h"
#include "app/ContentView.h"
#include "app/InstallState.h"
#include "app/Installation.h"

#include <QAbstractButton>
#include <QDialog>
#include <QLineEdit>
#include <QTest>

using talvo::ContentView;
using talvo::Installation;
using talvo::InstallState;
using talvo::InstallStatus;
using talvo::testing::FakeInstallEngine;
using talvo::testing::visibleButton;
using talvo::testing::visibleDialogs;
using talvo::testing::visibleField;
using talvo::testing::visibleTexts;

namespace {

const QString heading = QStringLiteral("Talvo Backup Agent Installer");
const QString successInstructions =
    QStringLiteral("A Full Disk Access permission pop-up will appear shortly.\n\n"
                   "Please follow the instructions to grant access.\n\n"
                   "Once done, you can safely close this window.");
const QString promptInstructions =
    QStringLiteral("To ensure this app works properly, please grant Full Disk Access.\n\n"
                   "Open System Settings, go to:\n\n"
                   "Privacy & Security \u2192 Full Disk Access\n\n"
                   "Then restart the app.");
const QString settingsURL =
    QStringLiteral("x-apple.systempreferences:com.apple.preference.security?Privacy_AllFiles");

struct Window {
    Window() : installation(state, engine), view(state, installation, engine) {
        view.resize(700, 400);
        view.show();
    }

    // What is on screen once replaced screens have gone.
    QStringList texts() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return visibleTexts(view);
    }

    QDialog* sheet() {
        const auto dialogs = visibleDialogs();
        return dialogs.size() == 1 ? qobject_cast<QDialog*>(dialogs.front()) : nullptr;
    }

    FakeInstallEngine engine;
    InstallState state;
    Installation installation;
    ContentView view;
};

} // namespace

class ScreensTest : public QObject {
    Q_OBJECT

  private slots:
    void eachStatusShowsItsScreenUnderTheHeading() {
        Window window;
        QStringList texts = window.texts();
        QVERIFY(texts.contains(heading));
        QVERIFY(texts.contains("Talvo Backup Agent Encryption Setup"));
        QVERIFY(texts.contains("Install"));
        QVERIFY(!window.sheet());

        window.state.setStatus(InstallStatus::installing);
        texts = window.texts();
        QCOMPARE(texts, (QStringList{heading, "Installing...",
                                     "Please wait while we install the Talvo Backup Agent...",
                                     "You may see several access granting request pop-ups "
                                     "during the installation."}));

        window.state.setStatus(InstallStatus::installed);
        QCOMPARE(window.texts(),
                 (QStringList{heading, "Installation Successful!", successInstructions,
                              "You can safely close this window now!"}));

        window.state.setStatus(InstallStatus::failed);
        QCOMPARE(window.texts(),
                 (QStringList{heading, "Installation Failed. Please contact your support for "
                                       "assistance."}));
        QVERIFY(!window.sheet());
    }

    void rewritingTheSameStatusKeepsWhatWasTyped() {
        Window window;
        talvo::testing::click(
            visibleButton(window.view, "I want to provide my own encryption passphrase"));
        talvo::testing::typeInto(visibleField(window.view, "Passphrase"), "kept text");
        window.state.setStatus(InstallStatus::idle);
        QLineEdit* field = visibleField(window.view, "Passphrase");
        QVERIFY(field);
        QCOMPARE(field->text(), QStringLiteral("kept text"));
    }

    void installClickedTwiceRunsTheEngineOnce() {
        Window window;
        QAbstractButton* install = visibleButton(window.view, "Install");
        QVERIFY(install);
        talvo::testing::click(install);
        // The same button again before the replaced screen has been deleted.
        install->click();
        QTRY_VERIFY(window.sheet());
        QCOMPARE(window.engine.calls(),
                 (std::vector<std::string>{"run", "bootstrap", "runStatusApp"}));
    }

    void promptOverSuccessOpensSettingsAndDismisses() {
        Window window;
        talvo::testing::click(visibleButton(window.view, "Install"));
        QTRY_VERIFY(window.sheet());
        QDialog& sheet = *window.sheet();

        QCOMPARE(sheet.windowModality(), Qt::WindowModal);
        QVERIFY(sheet.windowFlags().testFlag(Qt::Sheet));
        QCOMPARE(visibleTexts(sheet), (QStringList{"Full Disk Access Required", promptInstructions,
                                                   "Open System Settings", "Dismiss"}));
        QCOMPARE(talvo::testing::cutOffTexts(sheet), QStringList{});
        // The prompt's content keeps its size whatever the window's.
        const QSize promptSize = sheet.size();
        window.view.resize(1000, 800);
        QTest::qWait(10);
        QCOMPARE(sheet.size(), promptSize);
        QVERIFY(promptSize.width() >= 400 && promptSize.height() >= 350);

        QAbstractButton* openSettings = visibleButton(sheet, "Open System Settings");
        talvo::testing::click(openSettings);
        talvo::testing::click(openSettings);
        QCOMPARE(window.engine.openedURLs(),
                 (std::vector<std::string>(2, settingsURL.toStdString())));
        QVERIFY(sheet.isVisible());
        QCOMPARE(window.state.showFDAView(), true);

        talvo::testing::click(visibleButton(sheet, "Dismiss"));
        QCOMPARE(window.state.showFDAView(), false);
        QVERIFY(!window.sheet());
        QCOMPARE(window.texts(),
                 (QStringList{heading, "Installation Successful!", successInstructions,
                              "You can safely close this window now!"}));
    }

    void sheetFollowsTheStateAndEscapeDismissesIt() {
        Window window;
        window.state.setStatus(InstallStatus::installed);
        window.state.setShowFDAView(true);
        QVERIFY(window.sheet());
        // A second true while it is up brings no second sheet.
        window.state.setShowFDAView(true);
        QCOMPARE(visibleDialogs().size(), 1);

        QTest::keyClick(window.sheet(), Qt::Key_Escape);
        QVERIFY(!window.sheet());
        QCOMPARE(window.state.showFDAView(), false);

        window.state.setShowFDAView(true);
        QVERIFY(window.sheet());
        window.state.setShowFDAView(false);
        QVERIFY(!window.sheet());
        QCOMPARE(window.state.showFDAView(), false);
    }
};

QTEST_MAIN(ScreensTest)
#include "ScreensTest.moc"
