// Work that must not hold its caller up for longer than a time budget (a
// thumbnail asked for by a file manager): it runs in a child process, which
// is killed when the budget runs out, so a long load is abandoned with all of
// its memory and open files at once.
#pragma once

#include <functional>

namespace voxaro {

struct TBudgetOutcome {
    enum TKind {
        kExited,       // Code is the work's exit status
        kCrashed,      // the child ended by signal Code
        kTimedOut,     // killed when the budget ran out
        kInterrupted,  // this process got SIGTERM, SIGINT or SIGHUP (Code); the child is gone
        kNoChild,      // no child process could be started
    };
    TKind Kind = kNoChild;
    int Code = 0;
};

// Runs work() in a child process (its result is the child's exit status) and
// waits for it at most seconds; 0 or less waits as long as it takes. The child
// also dies when this process does. Output buffered in stdio is flushed before
// the child starts and when it ends.
TBudgetOutcome RunWithinBudget(double seconds, const std::function<int()>& work);

}  // namespace voxaro
