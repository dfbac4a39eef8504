// The windowed installer over a scripted engine that never touches the system: it validates
// the settings as the real engine does, then takes its time. For screenshots and manual tries;
// what the engine was asked to do is printed when the window closes.
#include "AppFixture.h"
#include "app/AgentApp.h"

#include <QCommandLineParser>
#include <chrono>
#include <iostream>
#include <thread>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption installSeconds(
        "install-seconds", "How long the scripted installation takes.", "seconds", "3");
    parser.addOption(installSeconds);
    parser.process(application);

    talvo::test::FakeInstallerBackend engine;
    const std::chrono::duration<double> installTime(parser.value(installSeconds).toDouble());
    engine.onRun = [installTime](const talvo::Config& config) {
        config.validate();
        std::this_thread::sleep_for(installTime);
    };
    talvo::AgentApp app(engine);
    const int status = app.exec();
    std::cout << qPrintable(engine.log().join('\n')) << std::endl;
    return status;
}
