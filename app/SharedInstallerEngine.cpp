#include "app/SharedInstallerEngine.h"

#include "engine/Installer.h"

namespace talvo {

void SharedInstallerEngine::run(const Config& config) {
    Installer::shared().run(config);
}

void SharedInstallerEngine::bootstrap() {
    Installer::shared().bootstrap();
}

void SharedInstallerEngine::runStatusApp() {
    Installer::shared().runStatusApp();
}

bool SharedInstallerEngine::isInitialized() const {
    return Installer::shared().isInitialized();
}

void SharedInstallerEngine::openURL(const std::string& url) {
    workspace_.openURL(url);
}

} // namespace talvo
