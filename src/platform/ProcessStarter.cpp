#include "platform/ProcessStarter.h"

#include <QProcess>

namespace keldara::platform {

bool QtProcessStarter::startDetached(const QString& program, const QStringList& arguments) {
    return QProcess::startDetached(program, arguments);
}

}  // namespace keldara::platform
