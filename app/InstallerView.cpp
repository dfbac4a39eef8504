#include "app/InstallerView.h"

#include "app/Appearance.h"
#include "app/PassphraseRule.h"

#include <QKeyEvent>
#include <limits>

namespace talvo {

namespace {

// Wrapped to the width, and given the height its lines need at that width (the window grows
// rather than cut a line off).
void makeParagraph(QLabel& label) {
    label.setWordWrap(true);
}

} // namespace

InstallerView::InstallerView(Installation& installation, QWidget* parent)
    : QWidget(parent), installation_(installation),
      installFocus_(installButton_, appearance::accentColor()) {
    using appearance::TextStyle;
    setMinimumSize(500, 300);
    layout_.setSpacing(20);
    layout_.setContentsMargins(appearance::defaultPadding, appearance::defaultPadding,
                               appearance::defaultPadding, appearance::defaultPadding);

    title_.setText(tr("Talvo Backup Agent Encryption Setup"));
    title_.setFont(appearance::font(TextStyle::title2, QFont::DemiBold));

    explanation_.setText(
        tr("You may set your own encryption passphrase. All backup data is always encrypted "
           "during transfer and storage, but if you provide a passphrase, only you will have "
           "access to it."));
    explanation_.setFont(appearance::font(TextStyle::body));
    makeParagraph(explanation_);

    warning_.setText(
        tr("Warning: If you choose to set your own passphrase, it cannot be changed or recovered "
           "once the backup begins. If the passphrase is lost, you will not be able to recover "
           "your backup data."));
    warning_.setFont(appearance::font(TextStyle::body, QFont::Bold));
    makeParagraph(warning_);

    managedKeyOption_.setText(tr("I want to use a Talvo-managed encryption passphrase"));
    customKeyOption_.setText(tr("I want to provide my own encryption passphrase"));
    optionGroup_.addButton(&managedKeyOption_);
    optionGroup_.addButton(&customKeyOption_);
    managedKeyOption_.setChecked(true);
    optionsLayout_.setContentsMargins(0, 0, 0, 0);
    optionsLayout_.addWidget(&managedKeyOption_);
    optionsLayout_.addWidget(&customKeyOption_);

    passphrase_.setPlaceholderText(tr("Passphrase"));
    confirmPassphrase_.setPlaceholderText(tr("Confirm Passphrase"));
    for (QLineEdit* field : {&passphrase_, &confirmPassphrase_}) {
        field->setEchoMode(QLineEdit::Password);
        // A pasted text is taken whole, never cut at the field's default limit: the rule below
        // judges its length.
        field->setMaxLength(std::numeric_limits<int>::max());
        field->setFont(appearance::font(TextStyle::body));
        passphraseLayout_.addWidget(field);
    }
    passphraseLayout_.setSpacing(10);
    passphraseLayout_.setContentsMargins(0, 0, 0, 0);
    // Hidden with the managed option, but keeping its room so that nothing below it moves.
    QSizePolicy groupPolicy = passphraseGroup_.sizePolicy();
    groupPolicy.setRetainSizeWhenHidden(true);
    passphraseGroup_.setSizePolicy(groupPolicy);

    installButton_.setText(tr("Install"));
    installButton_.setDefault(true);
    lengthNote_.setText(
        tr("A passphrase can be at most %1 characters long.").arg(maxPassphraseLength));
    lengthNote_.setFont(appearance::font(TextStyle::body));
    buttonRow_.addWidget(&lengthNote_);
    buttonRow_.addStretch();
    buttonRow_.addWidget(&installButton_);

    layout_.addWidget(&title_);
    layout_.addWidget(&explanation_);
    layout_.addWidget(&warning_);
    layout_.addWidget(&options_);
    layout_.addWidget(&passphraseGroup_);
    layout_.addStretch();
    layout_.addLayout(&buttonRow_);

    connect(&customKeyOption_, &QRadioButton::toggled, this, &InstallerView::showChoice);
    connect(&passphrase_, &QLineEdit::textChanged, this, &InstallerView::showChoice);
    connect(&confirmPassphrase_, &QLineEdit::textChanged, this, &InstallerView::showChoice);
    connect(&installButton_, &QPushButton::clicked, this, &InstallerView::handleInstall);
    showChoice();
}

void InstallerView::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        QWidget::keyPressEvent(event);
        return;
    }
    // A disabled button ignores the click, so Return does nothing then.
    installButton_.click();
}

bool InstallerView::isUsingCustomKey() const {
    return customKeyOption_.isChecked();
}

bool InstallerView::isChoiceAcceptable() const {
    return isPassphraseChoiceAcceptable(isUsingCustomKey(), passphrase_.text().toStdString(),
                                        confirmPassphrase_.text().toStdString());
}

Config InstallerView::config() const {
    Config config;
    if (isUsingCustomKey()) {
        config.encryptionKey = passphrase_.text().toStdString();
    }
    return config;
}

void InstallerView::showChoice() {
    passphraseGroup_.setVisible(isUsingCustomKey());
    lengthNote_.setVisible(isUsingCustomKey() &&
                           (isPassphraseTooLong(passphrase_.text().toStdString()) ||
                            isPassphraseTooLong(confirmPassphrase_.text().toStdString())));
    installButton_.setEnabled(isChoiceAcceptable());
}

void InstallerView::handleInstall() {
    // Repeats the button's rule, for an action that arrives while the button is disabled.
    if (!isChoiceAcceptable()) {
        return;
    }
    installation_.start(config());
}

} // namespace talvo
