#include "app/InstallingView.h"

#include "app/Appearance.h"

namespace talvo {

namespace {

void makeSecondaryNote(QLabel& label, appearance::TextStyle style) {
    label.setFont(appearance::font(style));
    appearance::useSecondaryTextColor(label);
    label.setAlignment(Qt::AlignHCenter);
    label.setWordWrap(true);
    label.setContentsMargins(20, 0, 20, 0);
}

} // namespace

InstallingView::InstallingView(QWidget* parent) : QWidget(parent) {
    using appearance::TextStyle;
    setMinimumSize(400, 250);
    layout_.setSpacing(10);
    layout_.setContentsMargins(appearance::defaultPadding, appearance::defaultPadding,
                               appearance::defaultPadding, appearance::defaultPadding);

    title_.setText(tr("Installing..."));
    title_.setFont(appearance::font(TextStyle::title2, QFont::DemiBold));
    waitNote_.setText(tr("Please wait while we install the Talvo Backup Agent..."));
    makeSecondaryNote(waitNote_, TextStyle::title3);
    promptNote_.setText(
        tr("You may see several access granting request pop-ups during the installation."));
    makeSecondaryNote(promptNote_, TextStyle::body);

    layout_.addStretch(1);
    layout_.addWidget(&spinner_, 0, Qt::AlignHCenter);
    layout_.addWidget(&title_, 0, Qt::AlignHCenter);
    layout_.addWidget(&waitNote_);
    layout_.addWidget(&promptNote_);
    layout_.addStretch(1);
}

} // namespace talvo
