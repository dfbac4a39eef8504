#include "app/StatusViews.h"

#include "app/Drawing.h"

#include <QLabel>
#include <QVBoxLayout>

namespace talvo {

namespace {

QLabel* secondaryNote(const QString& text, appearance::TextStyle style, QWidget* parent) {
    auto* const label = new QLabel(text, parent);
    label->setFont(appearance::font(style));
    appearance::useSecondaryTextColor(*label);
    label->setAlignment(Qt::AlignHCenter);
    label->setWordWrap(true);
    label->setContentsMargins(20, 0, 20, 0);
    return label;
}

// A centred column with the spacing and padding both screens use.
QVBoxLayout* screenLayout(QWidget* screen) {
    auto* const layout = new QVBoxLayout(screen);
    layout->setSpacing(10);
    appearance::setDefaultMargins(*layout);
    return layout;
}

} // namespace

InstallingView::InstallingView(QWidget* parent) : QWidget(parent) {
    using appearance::TextStyle;
    setMinimumSize(400, 250);
    QVBoxLayout* const layout = screenLayout(this);

    auto* const spinner = new Spinner(this);
    auto* const title = new QLabel(tr("Installing..."), this);
    title->setFont(appearance::font(TextStyle::title2, QFont::DemiBold));
    QLabel* const waitNote = secondaryNote(
        tr("Please wait while we install the Talvo Backup Agent..."), TextStyle::title3, this);
    QLabel* const promptNote = secondaryNote(
        tr("You may see several access granting request pop-ups during the installation."),
        TextStyle::body, this);

    layout->addStretch(1);
    layout->addWidget(spinner, 0, Qt::AlignHCenter);
    layout->addWidget(title, 0, Qt::AlignHCenter);
    layout->addWidget(waitNote);
    layout->addWidget(promptNote);
    layout->addStretch(1);
}

SuccessView::SuccessView(QWidget* parent) : QWidget(parent) {
    using appearance::TextStyle;
    setMinimumSize(400, 300);
    QVBoxLayout* const layout = screenLayout(this);

    auto* const checkmark = new SymbolImage(QStringLiteral(":/symbols/checkmark.circle.svg"),
                                            appearance::greenColor(), Qt::KeepAspectRatio, this);
    checkmark->setSymbolSize(QSize(80, 80), appearance::kDefaultPadding);

    auto* const title = new QLabel(tr("Installation Successful!"), this);
    title->setFont(appearance::font(TextStyle::title, QFont::Bold));

    auto* const instructions =
        new QLabel(tr("A Full Disk Access permission pop-up will appear shortly.\n\n"
                      "Please follow the instructions to grant access.\n\n"
                      "Once done, you can safely close this window."),
                   this);
    instructions->setFont(appearance::font(TextStyle::body));
    instructions->setAlignment(Qt::AlignHCenter);
    instructions->setWordWrap(true);
    instructions->setContentsMargins(appearance::kDefaultPadding, 0, appearance::kDefaultPadding,
                                     0);

    auto* const closeNote = new QLabel(tr("You can safely close this window now!"), this);
    closeNote->setFont(appearance::font(TextStyle::footnote));
    appearance::useSecondaryTextColor(*closeNote);

    layout->addWidget(checkmark, 0, Qt::AlignHCenter);
    layout->addWidget(title, 0, Qt::AlignHCenter);
    layout->addWidget(instructions);
    layout->addStretch();
    layout->addWidget(closeNote, 0, Qt::AlignHCenter);
}

ErrorView::ErrorView(QWidget* parent) : QWidget(parent) {
    auto* const layout = new QVBoxLayout(this);
    layout->setSpacing(10);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* const message =
        new QLabel(tr("Installation Failed. Please contact your support for assistance."), this);
    message->setFont(appearance::font(appearance::TextStyle::body));
    message->setAlignment(Qt::AlignCenter);
    message->setWordWrap(true);
    layout->addWidget(message);
}

} // namespace talvo
