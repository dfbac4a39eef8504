// The installer in the system's language, and its About box naming the version it was built as.
// Each language runs as its own test process, since the system's language is read at start.
#include "AppFixture.h"

#include <QAction>
#include <QMessageBox>
#include <QTimer>
#include <talvo/Version.h>

using namespace talvo;
using namespace talvo::testing;

class LanguageAndAboutTests : public QObject {
    Q_OBJECT

  private slots:
    void init() { useFreshSettings(); }

    void germanSystemSeesGermanTexts() {
        QVERIFY(installTranslation(*qApp) != nullptr);
        Launched app;
        const QStringList texts = visibleTexts(app.window);
        QVERIFY2(
            texts.contains(QStringLiteral("Verschlüsselung des Talvo Backup Agent einrichten")),
            qPrintable(texts.join('|')));
        QVERIFY(visible<QAbstractButton>(app.window, QStringLiteral("Installieren")));
        QVERIFY(!texts.contains(QStringLiteral("Install")));
        QCOMPARE(app.window.aboutAction()->text(), QStringLiteral("Über AgentInstaller"));
    }

    void englishSystemKeepsTheEnglishTexts() {
        QCOMPARE(installTranslation(*qApp), nullptr);
        Launched app;
        QVERIFY(visible<QAbstractButton>(app.window, QStringLiteral("Install")));
        QVERIFY(visibleTexts(app.window)
                    .contains(QStringLiteral("Talvo Backup Agent Encryption Setup")));
    }

    void aboutNamesTheBuiltVersionWithoutChangingTheWindow() {
        Launched app;
        const QStringList before = visibleTexts(app.window);
        QAction* const about = app.window.aboutAction();
        QVERIFY(app.window.actions().contains(about));
        QCOMPARE(about->menuRole(), QAction::AboutRole);
        QCOMPARE(QString::fromLatin1(kVersion), QStringLiteral(TALVO_EXPECTED_VERSION));

        QString shown;
        QTimer::singleShot(0, [&shown] {
            auto* const box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box != nullptr) {
                shown = box->text();
                box->accept();
            }
        });
        about->trigger();
        QVERIFY2(shown.contains(QStringLiteral("Version " TALVO_EXPECTED_VERSION)),
                 qPrintable(shown));
        QCOMPARE(visibleTexts(app.window), before);
    }
};

QTEST_MAIN(LanguageAndAboutTests)
#include "LanguageAndAboutTests.moc"
