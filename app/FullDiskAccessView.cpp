#include "app/FullDiskAccessView.h"

#include "app/Appearance.h"

#include <QUrl>
#include <algorithm>

namespace talvo {

namespace {

// The desktop's prominent bordered button at the large control size: filled with the accent
// colour, its label in the colour drawn on it.
void makeProminent(QPushButton& button) {
    button.setFont(appearance::font(appearance::TextStyle::body));
    button.setMinimumHeight(30);
    button.setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: %2;"
                                        " border: none; border-radius: 7px; padding: 6px 14px; }"
                                        "QPushButton:pressed { background-color: %3; }")
                             .arg(appearance::accentColor().name(),
                                  button.palette().color(QPalette::HighlightedText).name(),
                                  appearance::accentColor().darker(115).name()));
}

} // namespace

FullDiskAccessView::FullDiskAccessView(InstallEngine& engine, QWidget* parent)
    : QDialog(parent, Qt::Sheet), engine_(engine),
      lockShield_(QStringLiteral(":/symbols/lock.shield.svg"), appearance::accentColor(),
                  Qt::IgnoreAspectRatio),
      // On the accent fill, in the colour of the button's label.
      openSettingsFocus_(openSettingsButton_,
                         openSettingsButton_.palette().color(QPalette::HighlightedText)),
      dismissFocus_(dismissButton_, appearance::accentColor()) {
    using appearance::TextStyle;
    const int shadow = static_cast<int>(RoundedBackground::shadowRadius);
    sheetLayout_.setContentsMargins(shadow, shadow, shadow, shadow);
    sheetLayout_.setSizeConstraint(QLayout::SetFixedSize);
    sheetLayout_.addWidget(&content_);

    // The stack centred top to bottom in the frame, full width across it.
    layout_.setSpacing(0);
    layout_.setContentsMargins(appearance::defaultPadding, appearance::defaultPadding,
                               appearance::defaultPadding, appearance::defaultPadding);
    layout_.addStretch();
    layout_.addLayout(&stack_);
    layout_.addStretch();
    stack_.setSpacing(20);

    lockShield_.setSymbolSize(QSize(60, 70), 0);

    title_.setText(tr("Full Disk Access Required"));
    title_.setFont(appearance::font(TextStyle::title, QFont::Bold));

    instructions_.setText(tr("To ensure this app works properly, please grant Full Disk Access."
                             "\n\nOpen System Settings, go to:\n\n"
                             "Privacy & Security \u2192 Full Disk Access\n\n"
                             "Then restart the app."));
    instructions_.setFont(appearance::font(TextStyle::body));
    instructions_.setAlignment(Qt::AlignHCenter);
    instructions_.setWordWrap(true);
    instructions_.setContentsMargins(appearance::defaultPadding, appearance::defaultPadding,
                                     appearance::defaultPadding, appearance::defaultPadding);

    openSettingsButton_.setText(tr("Open System Settings"));
    makeProminent(openSettingsButton_);
    openSettingsButton_.setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    dismissButton_.setText(tr("Dismiss"));
    dismissButton_.setFont(appearance::font(TextStyle::body));
    dismissButton_.setFlat(true);
    // Neither is the prompt's default button: Return does not press one behind the user's back.
    openSettingsButton_.setAutoDefault(false);
    dismissButton_.setAutoDefault(false);
    openSettingsRow_.setContentsMargins(appearance::defaultPadding, 0, appearance::defaultPadding,
                                        0);
    openSettingsRow_.addWidget(&openSettingsButton_);
    dismissRow_.setContentsMargins(0, appearance::defaultPadding, 0, 0);
    dismissRow_.addWidget(&dismissButton_, 0, Qt::AlignHCenter);

    stack_.addWidget(&lockShield_, 0, Qt::AlignHCenter);
    stack_.addWidget(&title_, 0, Qt::AlignHCenter);
    stack_.addWidget(&instructions_);
    stack_.addLayout(&openSettingsRow_);
    stack_.addLayout(&dismissRow_);

    // Taller only when the desktop's fonts need more lines than the frame holds: the text is
    // never cut off.
    content_.ensurePolished();
    content_.setFixedSize(contentWidth,
                          std::max(contentHeight, layout_.totalHeightForWidth(contentWidth)));

    connect(&openSettingsButton_, &QPushButton::clicked, this,
            &FullDiskAccessView::openFullDiskAccessSettings);
    connect(&dismissButton_, &QPushButton::clicked, this, &QDialog::reject);
}

void FullDiskAccessView::openFullDiskAccessSettings() {
    const QUrl url(QString::fromLatin1(settingsURL), QUrl::StrictMode);
    if (!url.isValid()) {
        return;
    }
    // Handed to the desktop and not awaited; the prompt stays open.
    engine_.openURL(url.toString().toStdString());
}

} // namespace talvo
