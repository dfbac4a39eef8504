#pragma once

// The prompt for Full Disk Access that follows a successful installation.
#include <QDialog>

class QVBoxLayout;

namespace talvo {

class InstallerBackend;

// The sheet that asks for Full Disk Access after a successful installation. It only explains
// and links to the settings; it cannot tell whether access was granted.
class FullDiskAccessView : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kContentWidth = 400;
    static constexpr int kContentHeight = 350;
    static constexpr const char* kSettingsURL =
        "x-apple.systempreferences:com.apple.preference.security?Privacy_AllFiles";

    FullDiskAccessView(InstallerBackend& backend, QWidget* parent);

  private:
    // The stack's parts from top to bottom, each made in the order the focus moves.
    void addExplanation(QVBoxLayout& stack, QWidget& content);
    void addButtons(QVBoxLayout& stack, QWidget& content);
    void openFullDiskAccessSettings();

    InstallerBackend& backend_;
};

} // namespace talvo
