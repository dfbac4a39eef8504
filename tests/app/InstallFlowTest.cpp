// The passphrase rule as the Install button and Return apply it, and the installation they
// start: the key the engine receives, and the writes to the install state, in order and on the
// UI thread.
#include "AppTesting.h"

#include <tuple>

using namespace talvo;
using namespace talvo::testing;

namespace {

const QString precomposedE = QStringLiteral("\u00e9");
const QString decomposedE = QStringLiteral("e\u0301");

} // namespace

class InstallFlowTest : public QObject {
    Q_OBJECT

  private slots:
    void init() { useFreshSettings(); }

    void installFollowsTheRuleForOwnPassphrase() {
        const QList<std::tuple<QString, QString, bool>> cases{
            {"", "", false},
            {"a", "a", true}, // the minimum length is the engine's to enforce
            {"caf" + precomposedE, "cafe", false},
            {"   ", "   ", true},
            {"Secret", "secret", false},
        };
        for (const auto& [passphrase, confirmation, enabled] : cases) {
            Launched app;
            app.chooseOwn(passphrase, confirmation);
            QVERIFY2(app.installEnabled() == enabled,
                     qPrintable(passphrase + " / " + confirmation));
        }
    }

    void returnInstallsOnlyMatchingFieldsAndSendsTheKeyAsTyped() {
        // Held: were the engine run on the UI thread, or waited for there, this would hang.
        Launched app;
        app.engine.held = true;
        // Decomposed in the first field, composed in the second, one blank short.
        const QString typed = "  caf" + decomposedE + " au lait  ";
        app.chooseOwn(typed, "  caf" + precomposedE + " au lait ");
        QTest::keyClick(&require<QLineEdit>(app.window, "Confirm Passphrase"), Qt::Key_Return);
        QCOMPARE(app.state.status(), InstallStatus::idle);

        typeInto(app.window, "Confirm Passphrase", " ");
        QTest::keyClick(&require<QLineEdit>(app.window, "Confirm Passphrase"), Qt::Key_Return);
        // The first field's text, unchanged: no trimming, no normalisation.
        const QString run = "run with key " + typed;
        QTRY_COMPARE(app.engine.log(), (QStringList{"status installing", run}));
        QVERIFY(!app.installation.start(Config{}));

        app.engine.release();
        QTRY_COMPARE(app.engine.log(),
                     (QStringList{"status installing", run, "bootstrap", "runStatusApp",
                                  "status installed", "sheet true"}));
    }
};

QTEST_MAIN(InstallFlowTest)
#include "InstallFlowTest.moc"
