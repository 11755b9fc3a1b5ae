// Splitting one reader's work over the machine's cores: binary records in
// runs, text in chunks (line_chunks.h), taken by the parts as they come
// free. Only the work itself is split: the system's zeroing of fresh pages
// is bound by memory, not by cores.
#pragma once

#include <cstdint>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

namespace voxaro {

// Below this much input a load is not worth a second thread.
constexpr uint64_t kParallelMinBytes = uint64_t(4) << 20;
// A load uses at most this many threads, the calling one included.
constexpr int kMaxParts = 4;

// How many parts work over this many bytes is split into: 1 below
// kParallelMinBytes, else as many as the system has cores, up to kMaxParts.
inline int PartsFor(uint64_t bytes)
{
    if (bytes < kParallelMinBytes) return 1;
    const unsigned cores = std::thread::hardware_concurrency();
    return cores <= 1 ? 1 : cores >= static_cast<unsigned>(kMaxParts) ? kMaxParts : static_cast<int>(cores);
}

// Runs fn(0) .. fn(parts - 1) and returns once every one has finished: part
// 0 on the calling thread, the others on threads of their own, or on the
// calling thread too when the system gives no thread. The first exception a
// part threw, in part order, is thrown again here.
template <typename Fn> void RunParts(int parts, Fn&& fn)
{
    if (parts <= 1) {
        fn(0);
        return;
    }
    std::vector<std::exception_ptr> errors(static_cast<size_t>(parts));
    auto run = [&](int i) {
        try {
            fn(i);
        } catch (...) {
            errors[static_cast<size_t>(i)] = std::current_exception();
        }
    };
    std::vector<std::thread> threads;
    std::vector<int> left;
    threads.reserve(static_cast<size_t>(parts));
    left.reserve(static_cast<size_t>(parts));
    for (int i = 1; i < parts; ++i) {
        try {
            threads.emplace_back(run, i);
        } catch (const std::system_error&) {
            left.push_back(i);
        }
    }
    run(0);
    for (int i : left)
        run(i);
    for (std::thread& t : threads)
        t.join();
    for (const std::exception_ptr& e : errors)
        if (e) std::rethrow_exception(e);
}

}  // namespace voxaro
