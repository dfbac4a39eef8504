#pragma once

// The passphrase screen: the choice between the managed passphrase and the user's own, the rule
// the choice must meet, and the Install action.
#include "engine/Config.h"

#include <QWidget>
#include <cstddef>
#include <string_view>

class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QVBoxLayout;

namespace talvo {

class InstallWorkerThread;

// The longest own passphrase accepted, in user-perceived characters (counted as the engine
// counts its minimum). The passphrase travels on shell command lines, where a text of megabytes
// would fail half-way through the installation; refusing it up front lets the user fix it.
inline constexpr std::size_t kMaxPassphraseLength = 1024;

// Whether the text is longer than kMaxPassphraseLength.
bool isPassphraseTooLong(std::string_view passphrase);

// Whether the text holds U+0000. A pasted passphrase can carry one unseen, and the keychain would
// store the passphrase cut there without a word.
bool holdsNulCharacter(std::string_view passphrase);

// Whether the passphrase choice may be installed. The managed passphrase always may. The user's
// own may when both fields hold the same text under canonical equivalence (an accented letter
// typed precomposed or decomposed counts the same), the first is not empty, not too long and
// holds no U+0000. Whitespace is content; the minimum length is the engine's to enforce.
bool isPassphraseChoiceAcceptable(bool isUsingCustomKey, std::string_view passphrase,
                                  std::string_view confirmation);

// The first screen: the choice between the service-managed passphrase and the user's own, and
// the Install button that starts the installation.
class InstallerView : public QWidget {
    Q_OBJECT

  public:
    InstallerView(InstallWorkerThread& worker, QWidget* parent);

  protected:
    // Return and Enter press the Install button, the window's default button.
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // The parts of the screen from top to bottom, each made in the order the focus moves.
    void addIntroduction(QVBoxLayout& layout);
    QWidget* createOptions();
    QWidget* createPassphraseFields();
    QLayout* createButtonRow();

    bool isUsingCustomKey() const;
    bool isChoiceAcceptable() const;
    Config config() const;
    // Why a field's text cannot be installed whatever the other field holds, or an empty text.
    QString refusal() const;
    void showChoice();
    void handleInstall();

    InstallWorkerThread& worker_;

    // Owned by this view through its children.
    QRadioButton* customKeyOption_;
    QWidget* passphraseGroup_;
    QLineEdit* passphrase_;
    QLineEdit* confirmPassphrase_;
    // Says why Install stays disabled for a passphrase past the length cap or holding U+0000.
    QLabel* refusalNote_;
    QPushButton* installButton_;
};

} // namespace talvo
