#pragma once

#include "app/FocusRing.h"
#include "app/Installation.h"
#include "engine/Config.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <QWidget>

namespace talvo {

// The first screen: the choice between the service-managed passphrase and the user's own, and
// the Install button that starts the installation.
class InstallerView : public QWidget {
    Q_OBJECT

  public:
    explicit InstallerView(Installation& installation, QWidget* parent = nullptr);

  protected:
    // Return and Enter press the Install button, the window's default button.
    void keyPressEvent(QKeyEvent* event) override;

  private:
    bool isUsingCustomKey() const;
    bool isChoiceAcceptable() const;
    Config config() const;
    void showChoice();
    void handleInstall();

    Installation& installation_;

    QVBoxLayout layout_{this};
    QLabel title_;
    QLabel explanation_;
    QLabel warning_;
    QWidget options_;
    QVBoxLayout optionsLayout_{&options_};
    QRadioButton managedKeyOption_;
    QRadioButton customKeyOption_;
    QButtonGroup optionGroup_;
    QWidget passphraseGroup_;
    QVBoxLayout passphraseLayout_{&passphraseGroup_};
    QLineEdit passphrase_;
    QLineEdit confirmPassphrase_;
    QHBoxLayout buttonRow_;
    // Says why Install stays disabled for a passphrase past the length cap.
    QLabel lengthNote_;
    QPushButton installButton_;
    FocusRing installFocus_;
};

} // namespace talvo
