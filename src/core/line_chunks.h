// Reading a large text file's lines on several cores while their effects
// stay in file order. The file is cut into chunks of 1 MiB; readers take the
// next chunk as they come free, turn its lines into a batch on their own
// (Lex, any thread, side by side), and hand the batches over in file order
// (Run, one at a time), so that whatever Run changes needs no lock.
//
// A line starts at offset 0 and after every CR or LF (an empty line may
// stand between CR and LF) and belongs to the chunk its first byte lies in.
// Lines longer than the limit are cut as CutLine cuts them and the rest is
// skipped; with a limit of 0 lines are handed out whole, however long.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <exception>
#include <mutex>
#include <string>
#include <vector>

#include "file_io.h"
#include "parallel.h"
#include "reader_error.h"
#include "text_scan.h"

namespace voxaro {

// A line of size bytes over limit, cut at its last blank within the limit
// (or at the limit when it has none there): the length it is handed out
// with. line must hold limit + 1 bytes when size exceeds limit.
inline size_t CutLine(const char* line, size_t size, size_t limit)
{
    if (size <= limit) return size;
    size_t length = limit;
    while (length > 0 && !IsBlank(line[length]))
        --length;
    return length == 0 ? limit : length;
}

// Calls fn(line, length) for each line starting in [begin, end) of a file of
// the given size, read at its offsets into buffer. A read error raises
// TReaderError.
template <typename Fn>
void ForEachLineOfChunk(const TFile& file, uint64_t size, uint64_t begin, uint64_t end, size_t limit,
                        std::vector<char>& buffer, Fn&& fn)
{
    constexpr size_t kBlock = size_t(256) << 10;
    const bool cut = limit > 0;
    const size_t least = cut ? kBlock + limit + 1 : static_cast<size_t>(std::min<uint64_t>(kBlock, size + 1));
    if (buffer.size() < least) buffer.resize(least);
    bool skipping = begin > 0;               // up to and through the next break
    uint64_t at = skipping ? begin - 1 : 0;  // offset of buffer[0]
    size_t kept = 0;                         // bytes of an unfinished line at the front
    for (;;) {
        // A whole line that fills the buffer makes it grow, up to the file's size.
        if (kept == buffer.size()) buffer.resize(static_cast<size_t>(std::min<uint64_t>(2 * kept, size - at + 1)));
        const uint64_t from = at + kept;
        // Past the chunk's end only the line that straddles it is wanted:
        // read a little, then as much again as the line holds so far, so
        // that a long one is scanned a bounded number of times.
        constexpr uint64_t kPastEnd = 4096;
        const uint64_t wanted = from < end ? end - from + kPastEnd : std::max<uint64_t>(kPastEnd, kept);
        const size_t want = static_cast<size_t>(std::min<uint64_t>({buffer.size() - kept, size - from, wanted}));
        uint32_t error = 0;
        const size_t got = file.ReadFullAt(from, buffer.data() + kept, want, error);
        if (got < want)
            throw TReaderError("Read error at byte " + std::to_string(from + got) + " (error " + std::to_string(error) +
                               ").");
        const bool last = from + got == size;
        const char* p = buffer.data();
        const char* e = p + kept + got;
        if (skipping) {
            const char* q = FindLineBreak(p, e);
            if (q == e) {
                // No line of this chunk starts in what is left: a file without
                // breaks is read once, not once per chunk.
                if (last || from + got >= end) return;
                at = from + got, kept = 0;
                continue;
            }
            skipping = false;
            p = q + 1;
        }
        for (;;) {
            if (at + static_cast<uint64_t>(p - buffer.data()) >= end) return;
            const char* q = FindLineBreak(p, e);
            if (q == e && !last) {
                if (cut && static_cast<size_t>(e - p) > limit) {
                    fn(p, CutLine(p, static_cast<size_t>(e - p), limit));
                    skipping = true;
                    p = e;
                }
                break;
            }
            fn(p, cut ? CutLine(p, static_cast<size_t>(q - p), limit) : static_cast<size_t>(q - p));
            if (q == e) return;
            p = q + 1;
        }
        kept = static_cast<size_t>(e - p);
        std::memmove(buffer.data(), p, kept);
        at = from + got - kept;
    }
}

// Lexes the file's chunks side by side and runs their batches in file order.
// lex(line, length, batch) adds a line to a batch; run(batch) returns false
// to stop the reading (no later batch runs). The first error a chunk raised
// is raised again when its turn comes, as reading in one pass would have.
template <typename TBatch> class TLineChunks {
public:
    static constexpr uint64_t kChunkBytes = uint64_t(1) << 20;

    TLineChunks(const TFile& file, uint64_t size, size_t limit) : File_(file), Size_(size), Limit_(limit) {}

    template <typename Lex, typename Run> void Read(int parts, Lex&& lex, Run&& run)
    {
        RunParts(parts, [&](int) { Reader(lex, run); });
        if (Error_) std::rethrow_exception(Error_);
    }

private:
    template <typename Lex, typename Run> void Reader(Lex& lex, Run& run)
    {
        std::vector<char> buffer;
        TBatch batch;
        const uint64_t chunks = (Size_ + kChunkBytes - 1) / kChunkBytes;
        for (uint64_t c = Next_++; c < chunks; c = Next_++) {
            std::exception_ptr error;
            try {
                batch.clear();
                const uint64_t begin = c * kChunkBytes, end = std::min(Size_, begin + kChunkBytes);
                ForEachLineOfChunk(File_, Size_, begin, end, Limit_, buffer,
                                   [&](const char* line, size_t length) { lex(line, length, batch); });
            } catch (...) {
                error = std::current_exception();
            }
            if (!WaitTurn(c)) return;
            bool more = false;
            try {
                if (error) std::rethrow_exception(error);
                more = run(batch);
            } catch (...) {
                Error_ = std::current_exception();
            }
            EndTurn(more);
            if (!more) return;
        }
    }

    bool WaitTurn(uint64_t c)
    {
        std::unique_lock<std::mutex> lock(Mutex_);
        TurnTaken_.wait(lock, [&] { return Turn_ == c || Stopped_; });
        return !Stopped_;
    }
    void EndTurn(bool more)
    {
        {
            std::lock_guard<std::mutex> lock(Mutex_);
            ++Turn_;
            Stopped_ = Stopped_ || !more;
        }
        TurnTaken_.notify_all();
    }

    const TFile& File_;
    const uint64_t Size_;
    const size_t Limit_;
    std::atomic<uint64_t> Next_{0};
    std::mutex Mutex_;
    std::condition_variable TurnTaken_;
    uint64_t Turn_ = 0;
    bool Stopped_ = false;
    std::exception_ptr Error_;  // written only by the reader whose turn it is
};

}  // namespace voxaro
