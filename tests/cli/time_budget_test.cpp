// Work run under a time budget in a child process: its status comes back,
// a crash stays in the child, and work past the budget or a stop signal to
// the waiting process ends the child at once.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

#include <pthread.h>
#include <unistd.h>

#include "time_budget.h"

namespace voxaro {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

int SleepLong()
{
    sleep(30);
    return 0;
}

TEST(TimeBudget, StatusOfTheWorkComesBack)
{
    TBudgetOutcome done = RunWithinBudget(20.0, [] { return 7; });
    EXPECT_EQ(done.Kind, TBudgetOutcome::kExited);
    EXPECT_EQ(done.Code, 7);
    done = RunWithinBudget(0.0, [] { return 0; });  // no limit
    EXPECT_EQ(done.Kind, TBudgetOutcome::kExited);
    EXPECT_EQ(done.Code, 0);
    const TBudgetOutcome crashed = RunWithinBudget(20.0, [] { return raise(SIGSEGV); });
    EXPECT_EQ(crashed.Kind, TBudgetOutcome::kCrashed);
    EXPECT_EQ(crashed.Code, SIGSEGV);
}

// The child would sleep for 30 s; getting an answer long before shows it was
// not waited for.
TEST(TimeBudget, WorkPastTheBudgetIsAbandoned)
{
    const auto start = Clock::now();
    const TBudgetOutcome outcome = RunWithinBudget(0.2, SleepLong);
    EXPECT_EQ(outcome.Kind, TBudgetOutcome::kTimedOut);
    EXPECT_GE(SecondsSince(start), 0.2);
    EXPECT_LT(SecondsSince(start), 15.0);
}

TEST(TimeBudget, StopSignalEndsTheWait)
{
    const pthread_t waiter = pthread_self();
    std::thread stopper([waiter] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        pthread_kill(waiter, SIGTERM);
    });
    const auto start = Clock::now();
    const TBudgetOutcome outcome = RunWithinBudget(25.0, SleepLong);
    stopper.join();
    EXPECT_EQ(outcome.Kind, TBudgetOutcome::kInterrupted);
    EXPECT_EQ(outcome.Code, SIGTERM);
    EXPECT_LT(SecondsSince(start), 15.0);
}

}  // namespace
}  // namespace voxaro
