// The thread kept for a series of tasks: they run in order on one thread other than the
// caller's, each future holds its task's result or failure, and the thread runs what it was
// given before it ends.
#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/TaskThread.h"

namespace {

TEST(TaskThread, RunsItsTasksInOrderOnOneThreadAndHandsBackWhatEachGives) {
    std::vector<std::pair<int, std::thread::id>> ran;  // in the order the tasks ran
    std::future<int> last;
    {
        keldara::platform::TaskThread thread;
        const auto task = [&](int result) {
            return [&ran, result] {
                std::this_thread::sleep_for(std::chrono::milliseconds(result == 3 ? 20 : 0));
                ran.emplace_back(result, std::this_thread::get_id());
                if (result == 2) throw std::runtime_error("refused");
                return result;
            };
        };
        std::future<int> first = thread.run(task(1)), failed = thread.run(task(2));
        last = thread.run(task(3));
        EXPECT_EQ(first.get(), 1);
        EXPECT_THROW(failed.get(), std::runtime_error);
    }  // the last task, still sleeping, runs to its end first
    EXPECT_EQ(last.get(), 3);
    ASSERT_EQ(ran.size(), 3u);
    const std::thread::id worker = ran[0].second;
    EXPECT_NE(worker, std::this_thread::get_id());
    for (int i = 0; i < 3; ++i) EXPECT_EQ(ran[i], std::make_pair(i + 1, worker));
}

}  // namespace
