#include "time_budget.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace voxaro {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};
volatile sig_atomic_t StopSignal = 0;

void OnStopSignal(int sig)
{
    StopSignal = sig;
}

// While it lives, the stop signals only note themselves (and break off a
// wait), so the caller can clean up before it goes.
class TStopSignalGuard {
public:
    TStopSignalGuard()
    {
        StopSignal = 0;
        struct sigaction sa {};
        sa.sa_handler = OnStopSignal;
        sigemptyset(&sa.sa_mask);
        for (size_t i = 0; i < std::size(kStopSignals); ++i)
            sigaction(kStopSignals[i], &sa, &Old_[i]);
    }
    ~TStopSignalGuard()
    {
        for (size_t i = 0; i < std::size(kStopSignals); ++i)
            sigaction(kStopSignals[i], &Old_[i], nullptr);
    }
    TStopSignalGuard(const TStopSignalGuard&) = delete;
    TStopSignalGuard& operator=(const TStopSignalGuard&) = delete;

private:
    struct sigaction Old_[std::size(kStopSignals)];
};

// The child keeps the pipe's write end open until it ends, however it ends.
[[noreturn]] void RunChild(pid_t parent, const std::function<int()>& work)
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(1);  // the parent went before the line above
    int status = 1;
    try {
        status = work();
    } catch (...) {
        status = 1;
    }
    std::fflush(nullptr);
    _exit(status);
}

// Milliseconds left until deadline for poll(): -1 without a deadline.
int PollTimeout(bool limited, Clock::time_point deadline)
{
    if (!limited) return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

TBudgetOutcome Reap(pid_t child, TBudgetOutcome::TKind kind, int code)
{
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (kind != TBudgetOutcome::kExited) return {kind, code};
    if (WIFEXITED(status)) return {TBudgetOutcome::kExited, WEXITSTATUS(status)};
    return {TBudgetOutcome::kCrashed, WIFSIGNALED(status) ? WTERMSIG(status) : 0};
}

}  // namespace

TBudgetOutcome RunWithinBudget(double seconds, const std::function<int()>& work)
{
    const bool limited = seconds > 0;
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(limited ? seconds : 0));
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return {};
    std::fflush(nullptr);
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        RunChild(parent, work);
    }
    close(fds[1]);
    if (child < 0) {
        close(fds[0]);
        return {};
    }
    TStopSignalGuard signals;
    pollfd pfd{fds[0], POLLIN, 0};
    for (;;) {
        const int n = poll(&pfd, 1, PollTimeout(limited, deadline));
        if (StopSignal) {
            kill(child, SIGKILL);
            close(fds[0]);
            return Reap(child, TBudgetOutcome::kInterrupted, StopSignal);
        }
        if (n > 0) break;  // the child's end closed: it has ended
        if (n == 0) {
            kill(child, SIGKILL);
            close(fds[0]);
            return Reap(child, TBudgetOutcome::kTimedOut, 0);
        }
        if (errno != EINTR) break;  // cannot wait with a limit: wait without
    }
    close(fds[0]);
    return Reap(child, TBudgetOutcome::kExited, 0);
}

}  // namespace voxaro
