// The windowed installer over a scripted engine that never touches the system: it validates
// the settings as the real engine does, then takes its time. For screenshots and manual tries.
#include "app/AppDelegate.h"
#include "app/InstallEngine.h"
#include "exec/Error.h"

#include <QApplication>
#include <QCommandLineParser>
#include <chrono>
#include <iostream>
#include <thread>

namespace {

class DemoEngine final : public talvo::InstallEngine {
  public:
    DemoEngine(std::chrono::milliseconds installTime, bool configured, bool failing)
        : installTime_(installTime), configured_(configured), failing_(failing) {}

    void run(const talvo::Config& config) override {
        std::cout << "Installing User..." << std::endl;
        config.validate();
        std::this_thread::sleep_for(installTime_);
        if (failing_) {
            throw talvo::commandError(1);
        }
    }
    void bootstrap() override { std::cout << "demo: bootstrap" << std::endl; }
    void runStatusApp() override { std::cout << "demo: open status application" << std::endl; }
    bool isInitialized() const override { return configured_; }
    void openURL(const std::string& url) override {
        std::cout << "demo: open " << url << std::endl;
    }

  private:
    const std::chrono::milliseconds installTime_;
    const bool configured_;
    const bool failing_;
};

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption installSeconds(
        "install-seconds", "How long the scripted installation takes.", "seconds", "3");
    const QCommandLineOption configured("configured", "Behave as if the agent were configured.");
    const QCommandLineOption failing("fail", "Let every installation fail.");
    parser.addOptions({installSeconds, configured, failing});
    parser.process(application);

    const auto installTime = std::chrono::milliseconds(
        static_cast<long>(parser.value(installSeconds).toDouble() * 1000));
    DemoEngine engine(installTime, parser.isSet(configured), parser.isSet(failing));
    return talvo::runAgentInstaller(engine);
}
