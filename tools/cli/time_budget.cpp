#include "time_budget.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iterator>

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

// While it lives, the stop signals are held back except during a wait
// (WaitMask), where they only note themselves and break the wait off, so the
// caller can clean up before it goes; none slips in between.
class TStopSignalGuard {
public:
    TStopSignalGuard()
    {
        StopSignal = 0;
        struct sigaction sa {};
        sa.sa_handler = OnStopSignal;
        sigemptyset(&sa.sa_mask);
        sigset_t stops;
        sigemptyset(&stops);
        for (size_t i = 0; i < std::size(kStopSignals); ++i) {
            sigaction(kStopSignals[i], &sa, &OldActions_[i]);
            sigaddset(&stops, kStopSignals[i]);
        }
        sigprocmask(SIG_BLOCK, &stops, &OldMask_);
        WaitMask_ = OldMask_;
        for (int sig : kStopSignals)
            sigdelset(&WaitMask_, sig);
    }
    ~TStopSignalGuard()
    {
        sigprocmask(SIG_SETMASK, &OldMask_, nullptr);  // one held back now only notes itself
        RestoreActions();
    }
    TStopSignalGuard(const TStopSignalGuard&) = delete;
    TStopSignalGuard& operator=(const TStopSignalGuard&) = delete;

    const sigset_t& WaitMask() const { return WaitMask_; }
    // In the child: the signals as they were, so that a stop ends it.
    void RestoreInChild()
    {
        RestoreActions();
        sigprocmask(SIG_SETMASK, &OldMask_, nullptr);
    }

private:
    void RestoreActions()
    {
        for (size_t i = 0; i < std::size(kStopSignals); ++i)
            sigaction(kStopSignals[i], &OldActions_[i], nullptr);
    }

    struct sigaction OldActions_[std::size(kStopSignals)];
    sigset_t OldMask_;
    sigset_t WaitMask_;
};

// The child keeps the pipe's write end open until it ends, however it ends.
[[noreturn]] void RunChild(pid_t parent, TStopSignalGuard& signals, const std::function<int()>& work)
{
    signals.RestoreInChild();
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

// Time left until deadline for ppoll(), at least 0.
timespec TimeLeft(Clock::time_point deadline)
{
    const auto left = std::max(Clock::duration::zero(), deadline - Clock::now());
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
    return {static_cast<time_t>(seconds.count()),
            static_cast<long>(std::chrono::duration_cast<std::chrono::nanoseconds>(left - seconds).count())};
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
    TStopSignalGuard signals;  // from before the child exists, so no stop goes unseen
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        RunChild(parent, signals, work);
    }
    close(fds[1]);
    if (child < 0) {
        close(fds[0]);
        return {};
    }
    pollfd pfd{fds[0], POLLIN, 0};
    for (;;) {
        const timespec left = TimeLeft(deadline);
        const int n = ppoll(&pfd, 1, limited ? &left : nullptr, &signals.WaitMask());
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
