// The windowed installer over a scripted engine that never touches the system: it validates
// the settings as the real engine does, then takes its time. For screenshots and manual tries.
#include "app/AppDelegate.h"
#include "app/InstallEngine.h"

#include <QApplication>
#include <QCommandLineParser>
#include <chrono>
#include <iostream>
#include <thread>

namespace {

class DemoEngine final : public talvo::InstallEngine {
  public:
    explicit DemoEngine(std::chrono::milliseconds installTime) : installTime_(installTime) {}

    void run(const talvo::Config& config) override {
        std::cout << "Installing User..." << std::endl;
        config.validate();
        std::this_thread::sleep_for(installTime_);
    }
    void bootstrap() override { std::cout << "demo: bootstrap" << std::endl; }
    void runStatusApp() override { std::cout << "demo: open status application" << std::endl; }
    bool isInitialized() const override { return false; }
    void openURL(const std::string& url) override {
        std::cout << "demo: open " << url << std::endl;
    }

  private:
    const std::chrono::milliseconds installTime_;
};

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption installSeconds(
        "install-seconds", "How long the scripted installation takes.", "seconds", "3");
    parser.addOption(installSeconds);
    parser.process(application);

    DemoEngine engine(std::chrono::milliseconds(
        static_cast<long>(parser.value(installSeconds).toDouble() * 1000)));
    return talvo::runAgentInstaller(engine);
}
