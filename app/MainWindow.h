#pragma once

#include "app/ContentView.h"
#include "app/FrameAutosave.h"

#include <QVBoxLayout>
#include <QWidget>

namespace talvo {

// The installer's one window: 700 x 400, centred unless a frame was saved, with no title text.
class MainWindow : public QWidget {
    Q_OBJECT

  public:
    static constexpr int contentWidth = 700;
    static constexpr int contentHeight = 400;
    static constexpr const char* frameAutosaveName = "Talvo Backup Agent";

    MainWindow(InstallState& state, Installation& installation, InstallEngine& engine);

  protected:
    bool event(QEvent* event) override;
    // Refused while an installation runs: the engine cannot be interrupted, and a closed window
    // would leave a half-done installation going on unseen.
    void closeEvent(QCloseEvent* event) override;

  private:
    void keepTextUncompressed();

    Installation& installation_;
    QVBoxLayout layout_{this};
    ContentView content_;
    // Last: it restores the frame over the centred one set up before it.
    FrameAutosave frameAutosave_;
};

} // namespace talvo
