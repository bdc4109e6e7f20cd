#pragma once

#include <QString>
#include <QStringList>

namespace keldara::platform {

// Starts another program without waiting for it.
class ProcessStarter {
  public:
    virtual ~ProcessStarter() = default;
    // False when the program could not be started.
    virtual bool startDetached(const QString& program, const QStringList& arguments = {}) = 0;
};

class QtProcessStarter : public ProcessStarter {
  public:
    bool startDetached(const QString& program, const QStringList& arguments = {}) override;
};

}  // namespace keldara::platform
