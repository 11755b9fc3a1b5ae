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
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
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

// The last CR or LF in [p, end), or null.
inline const char* FindLastLineBreak(const char* p, const char* end)
{
    while (end > p && end[-1] != '\n' && end[-1] != '\r')
        --end;
    return end > p ? end - 1 : nullptr;
}

// How lines are handed out: one call per line, without its break, or one
// call per run of whole lines, each with its break (the last line of the
// file may have none). Runs are never cut: the limit applies to Lines only.
enum class THandOut { Lines, Spans };

// Calls fn(text, length) for the lines starting in [begin, end) of a file of
// the given size, read at its offsets into buffer. A read error raises
// TReaderError.
template <THandOut Mode = THandOut::Lines, typename Fn>
void ForEachLineOfChunk(const TFile& file, uint64_t size, uint64_t begin, uint64_t end, size_t limit,
                        std::vector<char>& buffer, Fn&& fn)
{
    constexpr size_t kBlock = size_t(256) << 10;
    const bool cut = Mode == THandOut::Lines && limit > 0;
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
        if constexpr (Mode == THandOut::Spans) {
            if (at + static_cast<uint64_t>(p - buffer.data()) >= end) return;
            // This chunk's last line ends at the first break from the byte
            // before the chunk's end on; until that is here, the whole lines
            // that are go out and the rest waits for more.
            const uint64_t ours = end - at;
            const char* q =
                ours <= static_cast<uint64_t>(e - buffer.data()) ? FindLineBreak(buffer.data() + ours - 1, e) : e;
            if (q < e || last) {
                fn(p, static_cast<size_t>(std::min(q + 1, e) - p));
                return;
            }
            if (const char* r = FindLastLineBreak(p, e)) {
                fn(p, static_cast<size_t>(r + 1 - p));
                p = r + 1;
            }
        } else {
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
        }
        kept = static_cast<size_t>(e - p);
        std::memmove(buffer.data(), p, kept);
        at = from + got - kept;
    }
}

// Lexes the file's chunks side by side and runs their batches in file order.
// lex(text, length, batch) adds a line (or a run of them, see THandOut) to a
// batch; run(batch) returns false to stop the reading (no later batch runs).
// The first error a chunk raised is raised again when its turn comes, as
// reading in one pass would have.
//
// A reader whose batch must wait for an earlier one parks it and takes the
// next chunk, so a slow core (or a long chunk) holds the others back only
// once the window of chunks in flight is full. Whoever finds the next turn's
// batch ready runs it, and the parked ones after it.
template <typename TBatch, THandOut Mode = THandOut::Lines> class TLineChunks {
public:
    static constexpr uint64_t kChunkBytes = uint64_t(1) << 20;

    TLineChunks(const TFile& file, uint64_t size, size_t limit) : File_(file), Size_(size), Limit_(limit) {}

    template <typename Lex, typename Run> void Read(int parts, Lex&& lex, Run&& run)
    {
        // Each reader's own chunk and two parked ones: room for a core three
        // times as fast as the slowest.
        Slots_.resize(static_cast<size_t>(std::max(parts, 1)) + 2);
        Spare_.reserve(Slots_.size());  // never grows while batches are handed back
        RunParts(parts, [&](int) { Reader(lex, run); });
        if (Error_) std::rethrow_exception(Error_);
    }

private:
    // The batch of chunk c waits in slot c % size until its turn.
    struct TSlot {
        std::unique_ptr<TBatch> Batch;
        std::exception_ptr Error;
        bool Ready = false;
    };

    template <typename Lex, typename Run> void Reader(Lex& lex, Run& run)
    {
        std::vector<char> buffer;
        const uint64_t chunks = (Size_ + kChunkBytes - 1) / kChunkBytes;
        uint64_t c = 0;
        std::unique_ptr<TBatch> batch;
        while (TakeChunk(chunks, c, batch)) {
            std::exception_ptr error;
            try {
                if (!batch) batch = std::make_unique<TBatch>();
                batch->clear();
                const uint64_t begin = c * kChunkBytes, end = std::min(Size_, begin + kChunkBytes);
                ForEachLineOfChunk<Mode>(File_, Size_, begin, end, Limit_, buffer,
                                         [&](const char* line, size_t length) { lex(line, length, *batch); });
            } catch (...) {
                error = std::current_exception();
            }
            Park(c, std::move(batch), error, run);
        }
    }

    // The next chunk, once it lies within the window, and a spare batch if
    // there is one; false when none is left or the reading stopped.
    bool TakeChunk(uint64_t chunks, uint64_t& c, std::unique_ptr<TBatch>& batch)
    {
        std::unique_lock<std::mutex> lock(Mutex_);
        SlotFreed_.wait(lock, [&] { return Stopped_ || Next_ >= chunks || Next_ < Turn_ + Slots_.size(); });
        if (Stopped_ || Next_ >= chunks) return false;
        c = Next_++;
        if (!Spare_.empty()) {
            batch = std::move(Spare_.back());
            Spare_.pop_back();
        }
        return true;
    }

    // Leaves chunk c's batch in its slot, then runs the batches whose turn
    // has come unless another reader is running them.
    template <typename Run> void Park(uint64_t c, std::unique_ptr<TBatch> batch, std::exception_ptr error, Run& run)
    {
        std::unique_lock<std::mutex> lock(Mutex_);
        TSlot& parked = Slot(c);
        parked.Batch = std::move(batch);
        parked.Error = error;
        parked.Ready = true;
        if (Running_) return;
        Running_ = true;
        while (!Stopped_ && Slot(Turn_).Ready) {
            TSlot& slot = Slot(Turn_);
            lock.unlock();
            bool more = false;
            try {
                if (slot.Error) std::rethrow_exception(slot.Error);
                more = run(*slot.Batch);
            } catch (...) {
                Error_ = std::current_exception();
            }
            lock.lock();
            if (slot.Batch) Spare_.push_back(std::move(slot.Batch));
            slot.Error = nullptr;
            slot.Ready = false;
            ++Turn_;
            Stopped_ = Stopped_ || !more;
            SlotFreed_.notify_all();
        }
        Running_ = false;
    }

    TSlot& Slot(uint64_t c) { return Slots_[static_cast<size_t>(c % Slots_.size())]; }

    const TFile& File_;
    const uint64_t Size_;
    const size_t Limit_;
    std::mutex Mutex_;
    std::condition_variable SlotFreed_;
    std::vector<TSlot> Slots_;
    std::vector<std::unique_ptr<TBatch>> Spare_;  // batches already run, for reuse
    uint64_t Next_ = 0;                           // the next chunk to lex
    uint64_t Turn_ = 0;                           // the next chunk to run
    bool Running_ = false;                        // a reader is running batches
    bool Stopped_ = false;
    std::exception_ptr Error_;  // written only by the reader running batches
};

}  // namespace voxaro
