#include "app/SharedInstallerEngine.h"

#include "engine/Installer.h"

namespace talvo {

SharedInstallerEngine::SharedInstallerEngine() : SharedInstallerEngine(Installer::shared()) {}

SharedInstallerEngine::SharedInstallerEngine(Installer& installer) : installer_(installer) {}

void SharedInstallerEngine::run(const Config& config) {
    const InstallResult result = installer_.run(config);
    if (result.keyNotStored) {
        throw *result.keyNotStored;
    }
}

void SharedInstallerEngine::bootstrap() {
    installer_.bootstrap();
}

void SharedInstallerEngine::runStatusApp() {
    installer_.runStatusApp();
}

bool SharedInstallerEngine::isInitialized() const {
    return installer_.isInitialized();
}

void SharedInstallerEngine::openURL(const std::string& url) {
    workspace_.openURL(url);
}

} // namespace talvo
