// The installer in German when the system's language is German (read at start, so the program
// runs under a German locale).
#include "AppFixture.h"

using namespace talvo;
using namespace talvo::test;

class TranslationTests : public QObject {
    Q_OBJECT

  private slots:
    void germanSystemSeesGermanTexts() {
        useFreshSettings();
        QVERIFY(installTranslation(*qApp) != nullptr);
        Launched app;
        const QStringList texts = visibleTexts(app.window);
        QVERIFY2(texts.contains("Installieren") && !texts.contains("Install"),
                 qPrintable(texts.join('|')));
    }
};

QTEST_MAIN(TranslationTests)
#include "TranslationTests.moc"
