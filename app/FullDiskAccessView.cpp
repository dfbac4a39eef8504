#include "app/FullDiskAccessView.h"

#include "app/Drawing.h"
#include "app/InstallWorkerThread.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
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

FullDiskAccessView::FullDiskAccessView(InstallerBackend& backend, QWidget* parent)
    : QDialog(parent, Qt::Sheet), backend_(backend) {
    // Room around the content for its shadow.
    auto* const sheetLayout = new QVBoxLayout(this);
    const int shadow = static_cast<int>(RoundedBackground::kShadowRadius);
    sheetLayout->setContentsMargins(shadow, shadow, shadow, shadow);
    sheetLayout->setSizeConstraint(QLayout::SetFixedSize);
    auto* const content = new RoundedBackground(this);
    sheetLayout->addWidget(content);

    // The stack centred top to bottom in the frame, full width across it.
    auto* const layout = new QVBoxLayout(content);
    layout->setSpacing(0);
    appearance::setDefaultMargins(*layout);
    auto* const stack = new QVBoxLayout();
    layout->addStretch();
    layout->addLayout(stack);
    layout->addStretch();
    stack->setSpacing(20);
    addExplanation(*stack, *content);
    addButtons(*stack, *content);

    // Taller only when the desktop's fonts need more lines than the frame holds: the text is
    // never cut off.
    content->ensurePolished();
    content->setFixedSize(kContentWidth,
                          std::max(kContentHeight, layout->totalHeightForWidth(kContentWidth)));
}

void FullDiskAccessView::addExplanation(QVBoxLayout& stack, QWidget& content) {
    auto* const lockShield =
        new SymbolImage(QStringLiteral(":/symbols/lock.shield.svg"), appearance::accentColor(),
                        Qt::IgnoreAspectRatio, &content);
    lockShield->setSymbolSize(QSize(60, 70), 0);

    auto* const title = new QLabel(tr("Full Disk Access Required"), &content);
    title->setFont(appearance::font(appearance::TextStyle::title, QFont::Bold));

    auto* const instructions =
        new QLabel(tr("To ensure this app works properly, please grant Full Disk Access."
                      "\n\nOpen System Settings, go to:\n\n"
                      "Privacy & Security \u2192 Full Disk Access\n\n"
                      "Then restart the app."),
                   &content);
    instructions->setFont(appearance::font(appearance::TextStyle::body));
    instructions->setAlignment(Qt::AlignHCenter);
    instructions->setWordWrap(true);
    instructions->setContentsMargins(appearance::kDefaultPadding, appearance::kDefaultPadding,
                                     appearance::kDefaultPadding, appearance::kDefaultPadding);

    stack.addWidget(lockShield, 0, Qt::AlignHCenter);
    stack.addWidget(title, 0, Qt::AlignHCenter);
    stack.addWidget(instructions);
}

void FullDiskAccessView::addButtons(QVBoxLayout& stack, QWidget& content) {
    auto* const openSettingsButton = new QPushButton(tr("Open System Settings"), &content);
    // On the accent fill, in the colour of the button's label.
    new FocusRing(*openSettingsButton,
                  openSettingsButton->palette().color(QPalette::HighlightedText));
    makeProminent(*openSettingsButton);
    openSettingsButton->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    auto* const dismissButton = new QPushButton(tr("Dismiss"), &content);
    dismissButton->setFont(appearance::font(appearance::TextStyle::body));
    dismissButton->setFlat(true);
    new FocusRing(*dismissButton, appearance::accentColor());
    // Neither is the prompt's default button: Return does not press one behind the user's back.
    openSettingsButton->setAutoDefault(false);
    dismissButton->setAutoDefault(false);

    auto* const openSettingsRow = new QHBoxLayout();
    openSettingsRow->setContentsMargins(appearance::kDefaultPadding, 0, appearance::kDefaultPadding,
                                        0);
    openSettingsRow->addWidget(openSettingsButton);
    auto* const dismissRow = new QVBoxLayout();
    dismissRow->setContentsMargins(0, appearance::kDefaultPadding, 0, 0);
    dismissRow->addWidget(dismissButton, 0, Qt::AlignHCenter);
    stack.addLayout(openSettingsRow);
    stack.addLayout(dismissRow);

    connect(openSettingsButton, &QPushButton::clicked, this,
            &FullDiskAccessView::openFullDiskAccessSettings);
    connect(dismissButton, &QPushButton::clicked, this, &QDialog::reject);
}

void FullDiskAccessView::openFullDiskAccessSettings() {
    const QUrl url(QString::fromLatin1(kSettingsURL), QUrl::StrictMode);
    if (!url.isValid()) {
        return;
    }
    // Handed to the desktop and not awaited; the prompt stays open.
    backend_.openURL(url.toString().toStdString());
}

} // namespace talvo
