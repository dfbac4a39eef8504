#pragma once

#include "app/FocusRing.h"
#include "app/InstallEngine.h"
#include "app/RoundedBackground.h"
#include "app/SymbolImage.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace talvo {

// The sheet that asks for Full Disk Access after a successful installation. It only explains
// and links to the settings; it cannot tell whether access was granted.
class FullDiskAccessView : public QDialog {
    Q_OBJECT

  public:
    static constexpr int contentWidth = 400;
    static constexpr int contentHeight = 350;
    static constexpr const char* settingsURL =
        "x-apple.systempreferences:com.apple.preference.security?Privacy_AllFiles";

    FullDiskAccessView(InstallEngine& engine, QWidget* parent);

  private:
    void openFullDiskAccessSettings();

    InstallEngine& engine_;
    // Room around the content for its shadow.
    QVBoxLayout sheetLayout_{this};
    RoundedBackground content_;
    QVBoxLayout layout_{&content_};
    QVBoxLayout stack_;
    SymbolImage lockShield_;
    QLabel title_;
    QLabel instructions_;
    QHBoxLayout openSettingsRow_;
    QPushButton openSettingsButton_;
    FocusRing openSettingsFocus_;
    QVBoxLayout dismissRow_;
    QPushButton dismissButton_;
    FocusRing dismissFocus_;
};

} // namespace talvo
