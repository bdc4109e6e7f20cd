#pragma once

#include <QString>

namespace keldara::platform {

// Starts another program without waiting for it.
class ProcessStarter {
  public:
    virtual ~ProcessStarter() = default;
    // False when the program could not be started.
    virtual bool startDetached(const QString& program) = 0;
};

class QtProcessStarter : public ProcessStarter {
  public:
    bool startDetached(const QString& program) override;
};

}  // namespace keldara::platform
