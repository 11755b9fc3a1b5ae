// The compact move store: every field of every move comes back bit for bit,
// whatever runs and offsets it was split into, and a store that reaches its
// memory limit refuses the move whole.
#include "gcode_moves.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

using namespace voxaro;

namespace {

uint64_t Bits(double v)
{
    uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

uint32_t Bits(float v)
{
    uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

void ExpectSameMove(const TGCodeMove& a, const TGCodeMove& b, size_t i)
{
    SCOPED_TRACE("move " + std::to_string(i));
    for (auto [x, y] :
         {std::pair{a.X, b.X}, {a.Y, b.Y}, {a.Z, b.Z}, {a.I, b.I}, {a.J, b.J}, {a.K, b.K}, {a.E, b.E}, {a.F, b.F}})
        ASSERT_EQ(Bits(x), Bits(y));
    ASSERT_EQ(Bits(a.LineWidth), Bits(b.LineWidth));
    ASSERT_EQ(Bits(a.LayerHeight), Bits(b.LayerHeight));
    ASSERT_EQ(a.Layer, b.Layer);
    ASSERT_EQ(a.Kind, b.Kind);
    ASSERT_EQ(a.Extrude, b.Extrude);
    ASSERT_EQ(a.Feature, b.Feature);
}

// Moves whose shared fields change now and then, each change alone, and
// whose offsets are sometimes there (signed zeros among them).
std::vector<TGCodeMove> MixedMoves(size_t count)
{
    std::mt19937 rnd(11);
    std::uniform_real_distribution<double> coord(-300, 300);
    const double specials[] = {0.0, -0.0, 1e-300, std::numeric_limits<double>::denorm_min(), 5.5};
    std::vector<TGCodeMove> moves;
    TGCodeMove m{};
    m.LineWidth = 0.4f, m.LayerHeight = 0.2f;
    for (size_t i = 0; i < count; ++i) {
        m.X = coord(rnd), m.Y = coord(rnd), m.E = coord(rnd);
        if (rnd() % 9 == 0) m.Z = coord(rnd);
        switch (rnd() % 12) {
        case 0: m.F = rnd() % 2 ? coord(rnd) : -0.0; break;
        case 1: m.Layer = static_cast<int32_t>(rnd() % 1000); break;
        case 2: m.LineWidth = static_cast<float>(coord(rnd)); break;
        case 3: m.LayerHeight = rnd() % 2 ? -0.0f : 0.25f; break;
        case 4: m.Feature = static_cast<TGCodeFeature>(rnd() % 13); break;
        default: break;
        }
        m.Kind = static_cast<uint8_t>(rnd() % 4);
        m.Extrude = rnd() % 2 != 0;
        const bool offsets = rnd() % 5 == 0;
        m.I = offsets ? specials[rnd() % 5] : 0.0;
        m.J = offsets ? coord(rnd) : 0.0;
        m.K = offsets && rnd() % 2 ? -0.0 : 0.0;
        moves.push_back(m);
    }
    return moves;
}

TEST(GCodeMoveStore, EveryFieldComesBackBitForBit)
{
    const std::vector<TGCodeMove> moves = MixedMoves(20000);
    TGCodeMoveStore store;
    for (const TGCodeMove& m : moves)
        ASSERT_TRUE(store.Append(m, SIZE_MAX));
    ASSERT_EQ(store.Count(), moves.size());
    for (size_t i = 0; i < moves.size(); ++i) {
        TGCodeMove got{};
        store.Get(i, got);
        ExpectSameMove(got, moves[i], i);
    }
}

TEST(GCodeMoveStore, AMoveThatNoLongerFitsIsRefusedWhole)
{
    const std::vector<TGCodeMove> moves = MixedMoves(5000);
    const size_t limit = 60000;
    TGCodeMoveStore store;
    size_t kept = 0;
    while (kept < moves.size() && store.Append(moves[kept], limit))
        ++kept;
    ASSERT_GT(kept, 0u);
    ASSERT_LT(kept, moves.size());
    EXPECT_LE(store.Bytes(), limit);
    EXPECT_EQ(store.Count(), kept);
    for (size_t i = 0; i < kept; ++i) {
        TGCodeMove got{};
        store.Get(i, got);
        ExpectSameMove(got, moves[i], i);
    }
    store.Clear();
    EXPECT_TRUE(store.empty());
    EXPECT_EQ(store.Bytes(), 0u);
}

}  // namespace
