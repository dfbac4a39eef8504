#include "app/AgentApp.h"
#include "app/InstallWorkerThread.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    talvo::installTranslation(application);
    talvo::SystemInstallerBackend backend;
    talvo::AgentApp app(backend);
    return app.exec();
}
