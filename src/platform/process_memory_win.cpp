#include "process_memory.h"

#include <windows.h>

namespace voxaro {

namespace {

// PROCESS_MEMORY_COUNTERS of psapi.h, declared here so that nothing is linked
// for one call that kernel32 answers (as K32GetProcessMemoryInfo).
struct TMemoryCounters {
    DWORD cb;
    DWORD PageFaultCount;
    SIZE_T PeakWorkingSetSize, WorkingSetSize, QuotaPeakPagedPoolUsage, QuotaPagedPoolUsage, QuotaPeakNonPagedPoolUsage,
        QuotaNonPagedPoolUsage, PagefileUsage, PeakPagefileUsage;
};
using TGetMemoryInfo = BOOL(WINAPI*)(HANDLE, TMemoryCounters*, DWORD);

}  // namespace

uint64_t ProcessMemoryBytes()
{
    static const auto get = reinterpret_cast<TGetMemoryInfo>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "K32GetProcessMemoryInfo")));
    TMemoryCounters c{};
    c.cb = sizeof c;
    if (!get || !get(GetCurrentProcess(), &c, sizeof c)) return 0;
    return c.PagefileUsage;  // private committed bytes: what the process has taken from the system
}

}  // namespace voxaro
