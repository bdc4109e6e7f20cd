#pragma once

#include <functional>
#include <future>

#include "platform/TaskThread.h"

namespace keldara::transfer {

// The next batch of a bulk run, made on a second thread while the server takes the current
// one. Only reading the records is shared between the two threads.
template <typename Batch>
class BatchAhead {
  public:
    ~BatchAhead() { wait(); }

    // The batch made ahead, else the one `make` makes now.
    Batch take(const std::function<Batch()>& make) { return next_.valid() ? next_.get() : make(); }
    // Starts making the next batch by `make`.
    void start(std::function<Batch()> make) { next_ = thread_.run(std::move(make)); }
    // Waits until the batch made ahead is done, as before anyone else uses what it uses.
    void wait() {
        if (next_.valid()) next_.wait();
    }
    // Forgets the batch made ahead (a run going on elsewhere).
    void drop() {
        wait();
        next_ = {};
    }

  private:
    platform::TaskThread thread_;
    std::future<Batch> next_;
};

}  // namespace keldara::transfer
