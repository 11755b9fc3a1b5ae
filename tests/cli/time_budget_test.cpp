// Work under a time budget in a child process: its status comes back, a
// crash stays in the child, and work past the budget or a stop signal to the
// waiting process ends the child at once (it would sleep for 30 s).
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

#include <pthread.h>
#include <unistd.h>

#include "time_budget.h"

namespace voxaro {
namespace {

int SleepLong()
{
    return sleep(30);
}

TEST(TimeBudget, Outcomes)
{
    EXPECT_EQ(RunWithinBudget(20.0, [] { return 7; }).Code, 7);
    EXPECT_EQ(RunWithinBudget(0.0, [] { return 3; }).Code, 3);  // no limit
    const TBudgetOutcome crashed = RunWithinBudget(20.0, []() -> int { std::abort(); });
    EXPECT_EQ(crashed.Kind, TBudgetOutcome::kCrashed);
    EXPECT_EQ(crashed.Code, SIGABRT);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunWithinBudget(0.2, SleepLong).Kind, TBudgetOutcome::kTimedOut);
    const pthread_t waiter = pthread_self();
    std::thread stopper([waiter] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        pthread_kill(waiter, SIGTERM);
    });
    const TBudgetOutcome stopped = RunWithinBudget(25.0, SleepLong);
    stopper.join();
    EXPECT_EQ(stopped.Kind, TBudgetOutcome::kInterrupted);
    EXPECT_EQ(stopped.Code, SIGTERM);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 20.0);
}

}  // namespace
}  // namespace voxaro
