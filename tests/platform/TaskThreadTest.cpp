// The thread kept for a series of tasks: each task's result or failure reaches its own future,
// the tasks run in order on one thread, and the thread runs what it was given before it ends.
#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/TaskThread.h"

using keldara::platform::TaskThread;

namespace {

TEST(TaskThread, RunsItsTasksInOrderOnOneThreadAndHandsBackWhatEachGives) {
    std::vector<int> order;
    std::vector<std::thread::id> threads;
    std::future<void> last;
    {
        TaskThread thread;
        std::future<int> six = thread.run([&] {
            threads.push_back(std::this_thread::get_id());
            order.push_back(1);
            return 6;
        });
        std::future<int> failed = thread.run([&]() -> int {
            threads.push_back(std::this_thread::get_id());
            order.push_back(2);
            throw std::runtime_error("refused");
        });
        last = thread.run([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            threads.push_back(std::this_thread::get_id());
            order.push_back(3);
        });
        EXPECT_EQ(six.get(), 6);
        EXPECT_THROW(failed.get(), std::runtime_error);
    }  // the last task still runs before the thread ends
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    ASSERT_EQ(threads.size(), 3u);
    EXPECT_NE(threads[0], std::this_thread::get_id());
    EXPECT_TRUE(threads[1] == threads[0] && threads[2] == threads[0]);
    EXPECT_NO_THROW(last.get());
}

}  // namespace
