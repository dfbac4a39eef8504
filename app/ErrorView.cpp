#include "app/ErrorView.h"

#include "app/Appearance.h"

namespace talvo {

ErrorView::ErrorView(QWidget* parent) : QWidget(parent) {
    layout_.setSpacing(10);
    layout_.setContentsMargins(0, 0, 0, 0);
    message_.setText(tr("Installation Failed. Please contact your support for assistance."));
    message_.setFont(appearance::font(appearance::TextStyle::body));
    message_.setAlignment(Qt::AlignCenter);
    message_.setWordWrap(true);
    layout_.addWidget(&message_);
}

} // namespace talvo
