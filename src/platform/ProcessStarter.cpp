#include "platform/ProcessStarter.h"

#include <QProcess>

namespace keldara::platform {

bool QtProcessStarter::startDetached(const QString& program) {
    return QProcess::startDetached(program, {});
}

}  // namespace keldara::platform
