#include "gcode_moves.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "memory_hint.h"

namespace voxaro {

namespace {

// The system is asked to ready the record array's memory this many moves at
// a time.
constexpr size_t kWriteAheadMoves = 4096;

bool IsPositiveZero(double v)
{
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits == 0;
}

}  // namespace

size_t TGCodeMoveStore::Bytes() const
{
    return Records_.size() * sizeof(TMoveRecord) + Runs_.size() * sizeof(TMoveRun) +
           Offsets_.size() * sizeof(TMoveOffsets);
}

void TGCodeMoveStore::Clear()
{
    Records_.Clear();
    Runs_.Clear();
    Offsets_.Clear();
    Count_ = RunCount_ = OffsetCount_ = 0;
}

void TGCodeMoveStore::ShrinkToFit()
{
    // Shrinking keeps the contents; should it fail, the array stays as it was.
    Records_.Resize(Count_);
    Runs_.Resize(RunCount_);
    Offsets_.Resize(OffsetCount_);
}

bool TGCodeMoveStore::SameAsLastRun(const TMoveRun& run) const
{
    return RunCount_ > 0 && std::memcmp(&Runs_[RunCount_ - 1], &run, sizeof run) == 0;
}

// Room for one more entry after used: capacity doubles (from 256 records or
// 16 table entries), up to what limitBytes leaves beside the others' bytes
// and, for records, the largest count a 32-bit move count holds.
template <typename T> bool TGCodeMoveStore::Reserve(TPodArray<T>& array, size_t used, size_t limitBytes, size_t others)
{
    if (used < array.size()) return true;
    size_t limit = limitBytes > others ? (limitBytes - others) / sizeof(T) : 0;
    constexpr bool kRecords = std::is_same<T, TMoveRecord>::value;
    if (kRecords) limit = std::min<size_t>(limit, INT32_MAX);
    const size_t old = array.size();
    if (old >= limit) return false;
    const size_t first = kRecords ? 256 : 16;
    const size_t length = old > limit / 2 ? limit : std::min(limit, std::max(old * 2, first));
    return array.Resize(length);
}

bool TGCodeMoveStore::Append(const TGCodeMove& move, size_t limitBytes)
{
    TMoveRun run;
    std::memset(&run, 0, sizeof run);  // runs are compared byte by byte
    run.F = move.F;
    run.Layer = move.Layer;
    run.LineWidth = move.LineWidth;
    run.LayerHeight = move.LayerHeight;
    run.Feature = move.Feature;
    const bool newRun = !SameAsLastRun(run);
    const bool offsets = !IsPositiveZero(move.I) || !IsPositiveZero(move.J) || !IsPositiveZero(move.K);
    if ((newRun && RunCount_ > kMaxIndex) || (offsets && OffsetCount_ > kMaxIndex)) return false;
    // Every array is made ready before any changes.
    const size_t runBytes = Runs_.size() * sizeof(TMoveRun), offsetBytes = Offsets_.size() * sizeof(TMoveOffsets);
    if (!Reserve(Records_, Count_, limitBytes, runBytes + offsetBytes)) return false;
    const size_t recordBytes = Records_.size() * sizeof(TMoveRecord);
    if (newRun && !Reserve(Runs_, RunCount_, limitBytes, recordBytes + offsetBytes)) return false;
    if (offsets && !Reserve(Offsets_, OffsetCount_, limitBytes, recordBytes + Runs_.size() * sizeof(TMoveRun)))
        return false;
    if (newRun) Runs_[RunCount_++] = run;
    const uint32_t runIndex = static_cast<uint32_t>(RunCount_ - 1);
    uint32_t tag = (move.Kind & 3u) | (move.Extrude ? kExtrudes : 0u);
    if (offsets) {
        Offsets_[OffsetCount_] = {move.I, move.J, move.K, runIndex};
        tag |= kHasOffsets | static_cast<uint32_t>(OffsetCount_++) << 4;
    } else {
        tag |= runIndex << 4;
    }
    if (Count_ % kWriteAheadMoves == 0) {
        // Big arrays fill faster with their pages readied a batch at a time.
        const size_t batch = std::min(kWriteAheadMoves, Records_.size() - Count_);
        HintWriteSoon(Records_.data() + Count_, batch * sizeof(TMoveRecord));
    }
    Records_[Count_++] = {move.X, move.Y, move.Z, move.E, tag};
    return true;
}

}  // namespace voxaro
