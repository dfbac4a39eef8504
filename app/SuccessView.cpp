#include "app/SuccessView.h"

#include "app/Appearance.h"

namespace talvo {

SuccessView::SuccessView(QWidget* parent)
    : QWidget(parent), checkmark_(QStringLiteral(":/symbols/checkmark.circle.svg"),
                                  appearance::greenColor(), Qt::KeepAspectRatio) {
    using appearance::TextStyle;
    setMinimumSize(400, 300);
    layout_.setSpacing(10);
    layout_.setContentsMargins(appearance::defaultPadding, appearance::defaultPadding,
                               appearance::defaultPadding, appearance::defaultPadding);

    checkmark_.setSymbolSize(QSize(80, 80), appearance::defaultPadding);

    title_.setText(tr("Installation Successful!"));
    title_.setFont(appearance::font(TextStyle::title, QFont::Bold));

    instructions_.setText(tr("A Full Disk Access permission pop-up will appear shortly.\n\n"
                             "Please follow the instructions to grant access.\n\n"
                             "Once done, you can safely close this window."));
    instructions_.setFont(appearance::font(TextStyle::body));
    instructions_.setAlignment(Qt::AlignHCenter);
    instructions_.setWordWrap(true);
    instructions_.setContentsMargins(appearance::defaultPadding, 0, appearance::defaultPadding, 0);

    closeNote_.setText(tr("You can safely close this window now!"));
    closeNote_.setFont(appearance::font(TextStyle::footnote));
    appearance::useSecondaryTextColor(closeNote_);

    layout_.addWidget(&checkmark_, 0, Qt::AlignHCenter);
    layout_.addWidget(&title_, 0, Qt::AlignHCenter);
    layout_.addWidget(&instructions_);
    layout_.addStretch();
    layout_.addWidget(&closeNote_, 0, Qt::AlignHCenter);
}

} // namespace talvo
