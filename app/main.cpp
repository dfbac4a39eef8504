#include "app/AppDelegate.h"
#include "app/SharedInstallerEngine.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    talvo::SharedInstallerEngine engine;
    return talvo::runAgentInstaller(engine);
}
