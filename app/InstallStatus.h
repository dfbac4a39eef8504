#pragma once

#include <QObject>

namespace talvo {
Q_NAMESPACE

// Where the installation stands; each case has its own screen.
enum class InstallStatus {
    idle,       // nothing started yet
    installing, // the engine is running
    installed,  // the engine returned without error
    failed,     // the engine raised an error
};
Q_ENUM_NS(InstallStatus)

} // namespace talvo
