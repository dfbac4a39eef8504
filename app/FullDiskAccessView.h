#pragma once

// The prompt for Full Disk Access that follows a successful installation.
#include <QDialog>

namespace talvo {

class InstallerBackend;

// The sheet that asks for Full Disk Access after a successful installation. It only explains
// and links to the settings; it cannot tell whether access was granted.
class FullDiskAccessView : public QDialog {
    Q_OBJECT

  public:
    static constexpr int contentWidth = 400;
    static constexpr int contentHeight = 350;
    static constexpr const char* settingsURL =
        "x-apple.systempreferences:com.apple.preference.security?Privacy_AllFiles";

    FullDiskAccessView(InstallerBackend& backend, QWidget* parent);

  private:
    void openFullDiskAccessSettings();

    InstallerBackend& backend_;
};

} // namespace talvo
