#include "app/InstallerView.h"

#include "app/Drawing.h"
#include "app/InstallWorkerThread.h"
#include "format/UnicodeText.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <limits>

namespace talvo {

bool isPassphraseTooLong(std::string_view passphrase) {
    // Each character takes at least one byte: most texts need no counting at all.
    if (passphrase.size() <= kMaxPassphraseLength) {
        return false;
    }
    const auto length = unicode::graphemeCount(passphrase);
    return !length || *length > kMaxPassphraseLength;
}

bool holdsNulCharacter(std::string_view passphrase) {
    return passphrase.find('\0') != std::string_view::npos;
}

bool isPassphraseChoiceAcceptable(bool isUsingCustomKey, std::string_view passphrase,
                                  std::string_view confirmation) {
    if (!isUsingCustomKey) {
        return true;
    }
    if (passphrase.empty() || isPassphraseTooLong(passphrase) || holdsNulCharacter(passphrase)) {
        return false;
    }
    const auto composed = unicode::nfc(passphrase);
    const auto composedConfirmation = unicode::nfc(confirmation);
    return composed && composedConfirmation && *composed == *composedConfirmation;
}

namespace {

// Wrapped to the width, and given the height its lines need at that width (the window grows
// rather than cut a line off).
QLabel* paragraph(const QString& text, QFont::Weight weight, QWidget* parent) {
    auto* const label = new QLabel(text, parent);
    label->setFont(appearance::font(appearance::TextStyle::body, weight));
    label->setWordWrap(true);
    return label;
}

} // namespace

InstallerView::InstallerView(InstallWorkerThread& worker, QWidget* parent)
    : QWidget(parent), worker_(worker) {
    setMinimumSize(500, 300);
    auto* const layout = new QVBoxLayout(this);
    layout->setSpacing(20);
    appearance::setDefaultMargins(*layout);
    addIntroduction(*layout);
    layout->addWidget(createOptions());
    layout->addWidget(createPassphraseFields());
    layout->addStretch();
    layout->addLayout(createButtonRow());

    connect(customKeyOption_, &QRadioButton::toggled, this, &InstallerView::showChoice);
    connect(passphrase_, &QLineEdit::textChanged, this, &InstallerView::showChoice);
    connect(confirmPassphrase_, &QLineEdit::textChanged, this, &InstallerView::showChoice);
    connect(installButton_, &QPushButton::clicked, this, &InstallerView::handleInstall);
    showChoice();
}

void InstallerView::addIntroduction(QVBoxLayout& layout) {
    auto* const title = new QLabel(tr("Talvo Backup Agent Encryption Setup"), this);
    title->setFont(appearance::font(appearance::TextStyle::title2, QFont::DemiBold));
    layout.addWidget(title);
    layout.addWidget(paragraph(
        tr("You may set your own encryption passphrase. All backup data is always encrypted "
           "during transfer and storage, but if you provide a passphrase, only you will have "
           "access to it."),
        QFont::Normal, this));
    layout.addWidget(paragraph(
        tr("Warning: If you choose to set your own passphrase, it cannot be changed or recovered "
           "once the backup begins. If the passphrase is lost, you will not be able to recover "
           "your backup data."),
        QFont::Bold, this));
}

QWidget* InstallerView::createOptions() {
    auto* const options = new QWidget(this);
    auto* const managedKeyOption =
        new QRadioButton(tr("I want to use a Talvo-managed encryption passphrase"), options);
    customKeyOption_ =
        new QRadioButton(tr("I want to provide my own encryption passphrase"), options);
    auto* const optionGroup = new QButtonGroup(this);
    optionGroup->addButton(managedKeyOption);
    optionGroup->addButton(customKeyOption_);
    managedKeyOption->setChecked(true);
    auto* const optionsLayout = new QVBoxLayout(options);
    optionsLayout->setContentsMargins(0, 0, 0, 0);
    optionsLayout->addWidget(managedKeyOption);
    optionsLayout->addWidget(customKeyOption_);
    return options;
}

QWidget* InstallerView::createPassphraseFields() {
    passphraseGroup_ = new QWidget(this);
    auto* const passphraseLayout = new QVBoxLayout(passphraseGroup_);
    passphrase_ = new QLineEdit(passphraseGroup_);
    passphrase_->setPlaceholderText(tr("Passphrase"));
    confirmPassphrase_ = new QLineEdit(passphraseGroup_);
    confirmPassphrase_->setPlaceholderText(tr("Confirm Passphrase"));
    for (QLineEdit* const field : {passphrase_, confirmPassphrase_}) {
        field->setEchoMode(QLineEdit::Password);
        // A pasted text is taken whole, never cut at the field's default limit: the rule below
        // judges its length.
        field->setMaxLength(std::numeric_limits<int>::max());
        field->setFont(appearance::font(appearance::TextStyle::body));
        passphraseLayout->addWidget(field);
    }
    passphraseLayout->setSpacing(10);
    passphraseLayout->setContentsMargins(0, 0, 0, 0);
    // Hidden with the managed option, but keeping its room so that nothing below it moves.
    QSizePolicy groupPolicy = passphraseGroup_->sizePolicy();
    groupPolicy.setRetainSizeWhenHidden(true);
    passphraseGroup_->setSizePolicy(groupPolicy);
    return passphraseGroup_;
}

QLayout* InstallerView::createButtonRow() {
    refusalNote_ = new QLabel(this);
    refusalNote_->setFont(appearance::font(appearance::TextStyle::body));
    installButton_ = new QPushButton(tr("Install"), this);
    installButton_->setDefault(true);
    new FocusRing(*installButton_, appearance::accentColor());
    auto* const buttonRow = new QHBoxLayout();
    buttonRow->addWidget(refusalNote_);
    buttonRow->addStretch();
    buttonRow->addWidget(installButton_);
    return buttonRow;
}

void InstallerView::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        QWidget::keyPressEvent(event);
        return;
    }
    // A disabled button ignores the click, so Return does nothing then.
    installButton_->click();
}

bool InstallerView::isUsingCustomKey() const {
    return customKeyOption_->isChecked();
}

bool InstallerView::isChoiceAcceptable() const {
    return isPassphraseChoiceAcceptable(isUsingCustomKey(), passphrase_->text().toStdString(),
                                        confirmPassphrase_->text().toStdString());
}

Config InstallerView::config() const {
    Config config;
    if (isUsingCustomKey()) {
        config.encryptionKey = passphrase_->text().toStdString();
    }
    return config;
}

QString InstallerView::refusal() const {
    // Either field: a confirmation that differs by a character nobody can see needs saying too.
    const std::string typed = passphrase_->text().toStdString();
    const std::string confirmed = confirmPassphrase_->text().toStdString();
    if (isPassphraseTooLong(typed) || isPassphraseTooLong(confirmed)) {
        return tr("A passphrase can be at most %1 characters long.").arg(kMaxPassphraseLength);
    }
    if (holdsNulCharacter(typed) || holdsNulCharacter(confirmed)) {
        return tr("A passphrase cannot contain a null character (U+0000).");
    }
    return {};
}

void InstallerView::showChoice() {
    passphraseGroup_->setVisible(isUsingCustomKey());
    const QString note = isUsingCustomKey() ? refusal() : QString();
    refusalNote_->setText(note);
    refusalNote_->setVisible(!note.isEmpty());
    installButton_->setEnabled(isChoiceAcceptable());
}

void InstallerView::handleInstall() {
    // Repeats the button's rule, for an action that arrives while the button is disabled.
    if (!isChoiceAcceptable()) {
        return;
    }
    worker_.install(config());
}

} // namespace talvo
