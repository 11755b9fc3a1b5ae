// Polygons with holes in a plane cut into triangles. The holes are joined to
// the outer loop by bridge edges, and the resulting polygon is cut into
// triangles by ear clipping:
// always the first ear in polygon order, as a scan that restarts from the
// first remaining corner after every cut would find it.
//
// Bridges go, in the face's order of holes, from each hole's corner with the
// largest u to the polygon corner nearest to its right by u alone. Where one
// of those bridges would cut through another hole or out of the face (which
// would leave the face half drawn), the holes are joined from right to left
// instead, each by a bridge that crosses nothing. An ear is refused when a
// corner lies inside it, or on one of its sides with the boundary going on
// into it (where corners of several holes line up).
//
// Ear clipping keeps its order without rescanning: a corner found not to be
// an ear is looked at again only when that can change, that is when one of
// its neighbours is cut away, or when the corner that blocked it (the one it
// "watches") goes or gets new neighbours; the other corners wait, lowest
// position first, and are tested only when they come first. A grid over the
// polygon finds blocking corners near the candidate triangle. Bridging and clipping spend
// from one work budget per load, so no file can make the load run for long.
#include "geom/polygon_triangulate.h"

#include <algorithm>
#include <cmath>
#include <queue>
#include <utility>

#include "reader_error.h"

namespace voxaro {

namespace {

constexpr double kEps = 1e-12;

// Whether the direction from corner j of a loop (interior on the left of its
// edges) towards t leaves j into the interior.
bool LocallyInside(const TPolygon& loop, size_t j, const TUV& t)
{
    const size_t n = loop.UV.size();
    const TUV& p = loop.UV[(j + n - 1) % n];
    const TUV& c = loop.UV[j];
    const TUV& q = loop.UV[(j + 1) % n];
    if (Cross(p, c, q) > 0) return Cross(p, c, t) > 0 && Cross(c, q, t) > 0;
    return Cross(p, c, t) > 0 || Cross(c, q, t) > 0;
}

// Whether segment a-b crosses the edges of loop, or runs through one of its
// corners, anywhere but at its own ends.
bool CrossesLoop(const TUV& a, const TUV& b, const TPolygon& loop)
{
    const size_t n = loop.UV.size();
    for (size_t j = 0; j < n; ++j) {
        const TUV& p = loop.UV[j];
        const TUV& q = loop.UV[(j + 1) % n];
        const double o1 = Cross(a, b, p), o2 = Cross(a, b, q);
        if (((o1 > kEps && o2 < -kEps) || (o1 < -kEps && o2 > kEps))) {
            const double o3 = Cross(p, q, a), o4 = Cross(p, q, b);
            if ((o3 > kEps && o4 < -kEps) || (o3 < -kEps && o4 > kEps)) return true;
        }
        // A corner on the open segment.
        if (std::fabs(o1) <= kEps && !(p.U == a.U && p.V == a.V) && !(p.U == b.U && p.V == b.V)) {
            const double along = (p.U - a.U) * (b.U - a.U) + (p.V - a.V) * (b.V - a.V);
            const double length2 = (b.U - a.U) * (b.U - a.U) + (b.V - a.V) * (b.V - a.V);
            if (along > 0 && along < length2) return true;
        }
    }
    return false;
}

// The holes of one face, projected and running clockwise, and the order in
// which they are joined to the polygon.
struct THoles {
    std::vector<TPolygon> Loops;
    std::vector<size_t> Order;
};

// A bridge from hole corner m to polygon position b is clear when it leaves
// both corners inwards and crosses neither the polygon nor any hole still to
// be joined (those after position next of the order).
bool BridgeIsClear(const TPolygon& polygon, size_t b, const TPolygon& hole, size_t m, const THoles& holes, size_t next,
                   TWorkBudget& work)
{
    const TUV& from = hole.UV[m];
    const TUV& to = polygon.UV[b];
    if (!LocallyInside(polygon, b, from) || !LocallyInside(hole, m, to)) return false;
    uint64_t edges = polygon.UV.size() + hole.UV.size();
    for (size_t k = next; k < holes.Order.size(); ++k)
        edges += holes.Loops[holes.Order[k]].UV.size();
    work.Spend(edges);
    if (CrossesLoop(from, to, polygon) || CrossesLoop(from, to, hole)) return false;
    for (size_t k = next; k < holes.Order.size(); ++k)
        if (CrossesLoop(from, to, holes.Loops[holes.Order[k]])) return false;
    return true;
}

// The hole's corner with the largest u (smallest v on ties, else the first).
size_t BridgeStart(const TPolygon& hole)
{
    size_t m = 0;
    for (size_t j = 1; j < hole.UV.size(); ++j)
        if (hole.UV[j].U > hole.UV[m].U || (hole.UV[j].U == hole.UV[m].U && hole.UV[j].V < hole.UV[m].V)) m = j;
    return m;
}

// The polygon corner nearest to the right of um by u alone (first in polygon
// order on ties; the rightmost corner when none lies to the right).
size_t RightBridgeEnd(const TPolygon& polygon, double um)
{
    size_t b = SIZE_MAX;
    double best = 0;
    for (size_t j = 0; j < polygon.UV.size(); ++j) {
        const double u = polygon.UV[j].U;
        if (u >= um - kEps && (b == SIZE_MAX || u - um < best)) b = j, best = u - um;
    }
    if (b == SIZE_MAX) {
        b = 0;
        for (size_t j = 1; j < polygon.UV.size(); ++j)
            if (polygon.UV[j].U > polygon.UV[b].U) b = j;
    }
    return b;
}

// The polygon corner nearest to hole corner m with a clear bridge, or SIZE_MAX.
size_t NearestClearEnd(const TPolygon& polygon, const TPolygon& hole, size_t m, const THoles& holes, size_t next,
                       TWorkBudget& work)
{
    std::vector<std::pair<double, size_t>> byDistance(polygon.UV.size());
    for (size_t j = 0; j < polygon.UV.size(); ++j) {
        const double du = polygon.UV[j].U - hole.UV[m].U, dv = polygon.UV[j].V - hole.UV[m].V;
        byDistance[j] = {du * du + dv * dv, j};
    }
    std::sort(byDistance.begin(), byDistance.end());
    work.Spend(byDistance.size());
    for (const auto& candidate : byDistance)
        if (BridgeIsClear(polygon, candidate.second, hole, m, holes, next, work)) return candidate.second;
    return SIZE_MAX;
}

// polygon[0..b], the hole from m round to m, hole[m] again, polygon[b] again, polygon[b+1..]
void JoinHole(TPolygon& polygon, size_t b, const TPolygon& hole, size_t m)
{
    TPolygon joined;
    const size_t h = hole.Points.size();
    joined.Points.reserve(polygon.Points.size() + h + 2);
    joined.UV.reserve(polygon.Points.size() + h + 2);
    auto add = [&](const TPolygon& from, size_t j) {
        joined.Points.push_back(from.Points[j]);
        joined.UV.push_back(from.UV[j]);
    };
    for (size_t j = 0; j <= b; ++j)
        add(polygon, j);
    for (size_t k = 0; k <= h; ++k)
        add(hole, (m + k) % h);
    add(polygon, b);
    for (size_t j = b + 1; j < polygon.Points.size(); ++j)
        add(polygon, j);
    polygon = std::move(joined);
}

// Joins the holes in the face's order, each from its corner with the largest
// u to the polygon corner nearest to its right by u alone. False, with the
// polygon unchanged, when one of those bridges would cut through a hole or
// out of the face (the face would be left half drawn).
bool BridgeInFileOrder(TPolygon& polygon, THoles& holes, TWorkBudget& work)
{
    TPolygon joined = polygon;
    for (size_t k = 0; k < holes.Order.size(); ++k) {
        const TPolygon& hole = holes.Loops[holes.Order[k]];
        work.Spend(joined.Points.size() + hole.Points.size());
        const size_t m = BridgeStart(hole);
        const size_t b = RightBridgeEnd(joined, hole.UV[m].U);
        if (!BridgeIsClear(joined, b, hole, m, holes, k + 1, work)) return false;
        JoinHole(joined, b, hole, m);
    }
    polygon = std::move(joined);
    return true;
}

// Joins the holes from right to left, so no hole still to come lies in the
// way of a bridge to the right. Each bridge goes to the corner nearest to its
// right by u when that bridge is clear, else to the nearest corner with a
// clear bridge.
void BridgeRightToLeft(TPolygon& polygon, THoles& holes, TWorkBudget& work)
{
    std::vector<double> maxU(holes.Loops.size());
    for (size_t k = 0; k < holes.Loops.size(); ++k)
        maxU[k] = holes.Loops[k].UV[BridgeStart(holes.Loops[k])].U;
    std::stable_sort(holes.Order.begin(), holes.Order.end(), [&](size_t a, size_t b) { return maxU[a] > maxU[b]; });
    for (size_t k = 0; k < holes.Order.size(); ++k) {
        const TPolygon& hole = holes.Loops[holes.Order[k]];
        work.Spend(polygon.Points.size() + hole.Points.size());
        const size_t m = BridgeStart(hole);
        size_t b = RightBridgeEnd(polygon, hole.UV[m].U);
        if (!BridgeIsClear(polygon, b, hole, m, holes, k + 1, work)) {
            const size_t clear = NearestClearEnd(polygon, hole, m, holes, k + 1, work);
            if (clear != SIZE_MAX) b = clear;
        }
        JoinHole(polygon, b, hole, m);
    }
}

// Buckets of polygon corners over the (u, v) bounding box, about two per cell.
class TCornerGrid {
public:
    // False when some projection is not finite: the caller then scans.
    bool Build(const std::vector<TUV>& uv)
    {
        double minU = uv[0].U, maxU = minU, minV = uv[0].V, maxV = minV;
        for (const TUV& p : uv) {
            if (!std::isfinite(p.U) || !std::isfinite(p.V)) return false;
            minU = std::min(minU, p.U), maxU = std::max(maxU, p.U);
            minV = std::min(minV, p.V), maxV = std::max(maxV, p.V);
        }
        const double w = maxU - minU, h = maxV - minV;
        if (!std::isfinite(w) || !std::isfinite(h)) return false;
        const double cells = std::max(1.0, static_cast<double>(uv.size()) / 2);
        if (w <= 0 || h <= 0) {
            Cols_ = w > 0 ? static_cast<int>(cells) : 1;
            Rows_ = h > 0 ? static_cast<int>(cells) : 1;
        } else {
            // Clamped as doubles: a thin face asks for more columns than an int holds.
            Cols_ = static_cast<int>(std::clamp(std::ceil(std::sqrt(cells * w / h)), 1.0, cells));
            Rows_ = static_cast<int>(std::clamp(std::ceil(cells / Cols_), 1.0, cells));
        }
        MinU_ = minU, MinV_ = minV;
        CellU_ = w > 0 ? w / Cols_ : 1;
        CellV_ = h > 0 ? h / Rows_ : 1;
        SlackU_ = 1e-9 * (std::fabs(minU) + std::fabs(maxU) + CellU_);
        SlackV_ = 1e-9 * (std::fabs(minV) + std::fabs(maxV) + CellV_);
        Start_.assign(static_cast<size_t>(Cols_) * Rows_ + 1, 0);
        for (const TUV& p : uv)
            ++Start_[Cell(Col(p.U), Row(p.V)) + 1];
        for (size_t c = 1; c < Start_.size(); ++c)
            Start_[c] += Start_[c - 1];
        Items_.resize(uv.size());
        std::vector<int32_t> fill(Start_.begin(), Start_.end() - 1);
        for (size_t j = 0; j < uv.size(); ++j)
            Items_[static_cast<size_t>(fill[Cell(Col(uv[j].U), Row(uv[j].V))]++)] = static_cast<int32_t>(j);
        return true;
    }

    // Calls test(corner) for the corners in cells the triangle a, b, c may
    // cover, row band by row band, until it returns true; returns that corner
    // or -1. Counts the work spent.
    template <typename Test> int32_t Search(const TUV& a, const TUV& b, const TUV& c, uint64_t& work, Test&& test) const
    {
        const int row0 = Row(std::min({a.V, b.V, c.V})), row1 = Row(std::max({a.V, b.V, c.V}));
        for (int row = row0; row <= row1; ++row) {
            // The band, and below the u range, widened a little: a corner's cell
            // and the band limits are computed with rounding.
            const double v0 = MinV_ + row * CellV_ - SlackV_, v1 = MinV_ + (row + 1) * CellV_ + SlackV_;
            double lo = INFINITY, hi = -INFINITY;
            ClipEdge(a, b, v0, v1, lo, hi);
            ClipEdge(b, c, v0, v1, lo, hi);
            ClipEdge(c, a, v0, v1, lo, hi);
            if (row == row0 || row == row1) {  // the band edges may cut the corners by rounding
                for (const TUV* p : {&a, &b, &c})
                    if (Row(p->V) == row) lo = std::min(lo, p->U), hi = std::max(hi, p->U);
            }
            if (lo > hi) continue;
            const int col0 = Col(lo - SlackU_), col1 = Col(hi + SlackU_);
            for (int col = col0; col <= col1; ++col) {
                const size_t cell = Cell(col, row);
                work += 1 + static_cast<uint64_t>(Start_[cell + 1] - Start_[cell]);
                for (int32_t k = Start_[cell]; k < Start_[cell + 1]; ++k)
                    if (test(Items_[static_cast<size_t>(k)])) return Items_[static_cast<size_t>(k)];
            }
        }
        return -1;
    }

private:
    int Col(double u) const { return std::clamp(static_cast<int>(std::floor((u - MinU_) / CellU_)), 0, Cols_ - 1); }
    int Row(double v) const { return std::clamp(static_cast<int>(std::floor((v - MinV_) / CellV_)), 0, Rows_ - 1); }
    size_t Cell(int col, int row) const { return static_cast<size_t>(row) * Cols_ + col; }

    // Widens [lo, hi] by the u values of segment a-b within the band v0..v1.
    static void ClipEdge(const TUV& a, const TUV& b, double v0, double v1, double& lo, double& hi)
    {
        double t0 = 0, t1 = 1;
        if (a.V == b.V) {
            if (a.V < v0 || a.V > v1) return;
        } else {
            t0 = (v0 - a.V) / (b.V - a.V);
            t1 = (v1 - a.V) / (b.V - a.V);
            if (t0 > t1) std::swap(t0, t1);
            t0 = std::max(t0, 0.0);
            t1 = std::min(t1, 1.0);
            if (t0 > t1) return;
        }
        for (double t : {t0, t1}) {
            const double u = a.U + t * (b.U - a.U);
            lo = std::min(lo, u), hi = std::max(hi, u);
        }
    }

    int Cols_ = 1, Rows_ = 1;
    double MinU_ = 0, MinV_ = 0, CellU_ = 1, CellV_ = 1, SlackU_ = 0, SlackV_ = 0;
    std::vector<int32_t> Start_, Items_;
};

// Ear clipping of one polygon (positions 0..r-1) in the order described at
// the top of the file.
class TEarClipper {
public:
    TEarClipper(const std::vector<TUV>& uv, bool counterClockwise, TWorkBudget& work)
        : UV_(uv), Ccw_(counterClockwise), Work_(work)
    {
    }

    // emit(prev, cur, next) with polygon positions. When no corner is an ear,
    // a polygon without holes is fanned from its first remaining corner and
    // one with holes keeps the rest unfilled.
    template <typename Emit> void Run(bool hasHoles, Emit&& emit)
    {
        const int32_t r = static_cast<int32_t>(UV_.size());
        Prev_.resize(UV_.size());
        Next_.resize(UV_.size());
        for (int32_t j = 0; j < r; ++j) {
            Prev_[static_cast<size_t>(j)] = (j + r - 1) % r;
            Next_[static_cast<size_t>(j)] = (j + 1) % r;
        }
        Removed_.assign(UV_.size(), 0);
        Stamp_.assign(UV_.size(), 0);
        Watching_.assign(UV_.size(), -1);
        WatchHead_.assign(UV_.size(), -1);
        UseGrid_ = r >= 64 && Grid_.Build(UV_);
        for (int32_t j = 0; j < r; ++j)
            Invalidate(j);

        int32_t head = 0, remaining = r;
        while (remaining > 3) {
            const int32_t l = PopEar();
            if (l < 0) {
                if (!hasHoles)
                    for (int32_t k = Next_[static_cast<size_t>(head)]; Next_[static_cast<size_t>(k)] != head;
                         k = Next_[static_cast<size_t>(k)])
                        emit(head, k, Next_[static_cast<size_t>(k)]);
                return;
            }
            const int32_t p = Prev_[static_cast<size_t>(l)], n = Next_[static_cast<size_t>(l)];
            emit(p, l, n);
            Removed_[static_cast<size_t>(l)] = 1;
            Next_[static_cast<size_t>(p)] = n;
            Prev_[static_cast<size_t>(n)] = p;
            if (l == head) head = n;
            if (--remaining == 3) break;
            Invalidate(p);
            Invalidate(n);
            for (int32_t gone : {l, p, n})  // l left, p and n have new neighbours
                EvaluateWatchers(gone);
        }
        const int32_t second = Next_[static_cast<size_t>(head)];
        emit(head, second, Next_[static_cast<size_t>(second)]);
    }

private:
    // Positive for the side of the turn of the polygon's corners.
    double Side(double cross) const { return Ccw_ ? cross : -cross; }

    // Whether corner q keeps the triangle a (prev), b (cur), c (next) from
    // being cut: it lies inside, or on one of its sides with the boundary
    // going on from it into the triangle. The second case arises where
    // corners of several holes line up: the polygon then touches itself, and
    // cutting such a triangle would cross its boundary.
    bool Blocks(int32_t q, const TUV& a, const TUV& b, const TUV& c) const
    {
        const TUV& p = UV_[static_cast<size_t>(q)];
        const double sides[3] = {Side(Cross(a, b, p)), Side(Cross(b, c, p)), Side(Cross(c, a, p))};
        if (sides[0] > kEps && sides[1] > kEps && sides[2] > kEps) return true;
        const TUV* ends[3][2] = {{&a, &b}, {&b, &c}, {&c, &a}};
        for (int k = 0; k < 3; ++k)
            if (std::fabs(sides[k]) <= kEps && OnOpenSide(p, *ends[k][0], *ends[k][1]) &&
                EntersFrom(q, *ends[k][0], *ends[k][1]))
                return true;
        return false;
    }

    // p lies strictly between s and t (it is known to be on their line).
    static bool OnOpenSide(const TUV& p, const TUV& s, const TUV& t)
    {
        if ((p.U == s.U && p.V == s.V) || (p.U == t.U && p.V == t.V)) return false;
        const double along = (p.U - s.U) * (t.U - s.U) + (p.V - s.V) * (t.V - s.V);
        return along > 0 && along < (t.U - s.U) * (t.U - s.U) + (t.V - s.V) * (t.V - s.V);
    }

    // A neighbour of corner q lies on the inner side of the line s -> t.
    bool EntersFrom(int32_t q, const TUV& s, const TUV& t) const
    {
        const TUV& before = UV_[static_cast<size_t>(Prev_[static_cast<size_t>(q)])];
        const TUV& after = UV_[static_cast<size_t>(Next_[static_cast<size_t>(q)])];
        return Side(Cross(s, t, before)) > kEps || Side(Cross(s, t, after)) > kEps;
    }

    // The corners that watch w are to be looked at again (w left, or its
    // neighbours changed).
    void EvaluateWatchers(int32_t w)
    {
        for (int32_t e = WatchHead_[static_cast<size_t>(w)]; e >= 0; e = WatchPool_[static_cast<size_t>(e)].second) {
            const int32_t v = WatchPool_[static_cast<size_t>(e)].first;
            if (!Removed_[static_cast<size_t>(v)] && Watching_[static_cast<size_t>(v)] == w) Invalidate(v);
        }
    }

    // A remaining corner other than the three that lies inside, or -1.
    int32_t FindBlocker(int32_t p, int32_t v, int32_t n)
    {
        const TUV &a = UV_[static_cast<size_t>(p)], &b = UV_[static_cast<size_t>(v)], &c = UV_[static_cast<size_t>(n)];
        uint64_t steps = 1;
        int32_t found = -1;
        if (UseGrid_) {
            found = Grid_.Search(a, b, c, steps, [&](int32_t q) {
                return q != p && q != v && q != n && !Removed_[static_cast<size_t>(q)] && Blocks(q, a, b, c);
            });
        } else {
            for (int32_t q = Next_[static_cast<size_t>(n)]; q != p; q = Next_[static_cast<size_t>(q)], ++steps)
                if (Blocks(q, a, b, c)) {
                    found = q;
                    break;
                }
        }
        Work_.Spend(steps);
        return found;
    }

    // v's status is unknown again: it goes back among the candidates.
    void Invalidate(int32_t v)
    {
        const size_t k = static_cast<size_t>(v);
        ++Stamp_[k];
        Watching_[k] = -1;
        Candidates_.push({v, Stamp_[k]});
    }

    // Whether v is an ear now; when a corner blocks it, v watches that corner.
    bool Evaluate(int32_t v)
    {
        const size_t k = static_cast<size_t>(v);
        const int32_t p = Prev_[k], n = Next_[k];
        const double corner = Cross(UV_[static_cast<size_t>(p)], UV_[k], UV_[static_cast<size_t>(n)]);
        if (Ccw_ ? !(corner > kEps) : !(corner < -kEps)) return false;  // reflex, straight or not a number
        const int32_t blocker = FindBlocker(p, v, n);
        if (blocker < 0) return true;
        Watching_[k] = blocker;
        WatchPool_.emplace_back(v, WatchHead_[static_cast<size_t>(blocker)]);
        WatchHead_[static_cast<size_t>(blocker)] = static_cast<int32_t>(WatchPool_.size() - 1);
        return false;
    }

    // The remaining ear with the lowest position, or -1. Candidates are
    // looked at lazily, lowest position first: the first that is an ear is
    // the one a scan from the first corner would find.
    int32_t PopEar()
    {
        while (!Candidates_.empty()) {
            const auto [v, stamp] = Candidates_.top();
            Candidates_.pop();
            if (!Removed_[static_cast<size_t>(v)] && Stamp_[static_cast<size_t>(v)] == stamp && Evaluate(v)) return v;
        }
        return -1;
    }

    const std::vector<TUV>& UV_;
    const bool Ccw_;
    TWorkBudget& Work_;
    std::vector<int32_t> Prev_, Next_, Watching_, WatchHead_;
    std::vector<uint8_t> Removed_;
    std::vector<uint32_t> Stamp_;
    std::vector<std::pair<int32_t, int32_t>> WatchPool_;  // (watcher, next entry)
    // (corner, stamp) of corners whose status is unknown; stale stamps are skipped.
    std::priority_queue<std::pair<int32_t, uint32_t>, std::vector<std::pair<int32_t, uint32_t>>, std::greater<>>
        Candidates_;
    TCornerGrid Grid_;
    bool UseGrid_ = false;
};

}  // namespace

double SignedArea2(const std::vector<TUV>& uv)
{
    if (uv.size() < 3) return 0;
    double s = 0;
    for (size_t j = 0; j < uv.size(); ++j) {
        const TUV& a = uv[j];
        const TUV& b = uv[(j + 1) % uv.size()];
        s += a.U * b.V - a.V * b.U;
    }
    return s;
}

void Reverse(TPolygon& p)
{
    std::reverse(p.Points.begin(), p.Points.end());
    std::reverse(p.UV.begin(), p.UV.end());
}

void TriangulatePolygon(TPolygon polygon, std::vector<TPolygon> holeLoops, bool hasHoles, TWorkBudget& work,
                        std::vector<TTriangleIds>& out)
{
    if (polygon.Points.size() < 3) return;
    if (SignedArea2(polygon.UV) < 0) Reverse(polygon);
    THoles holes;
    for (TPolygon& h : holeLoops) {
        if (h.Points.size() < 3) continue;
        if (SignedArea2(h.UV) > 0) Reverse(h);
        holes.Loops.push_back(std::move(h));
        holes.Order.push_back(holes.Order.size());
    }
    if (!holes.Loops.empty() && !BridgeInFileOrder(polygon, holes, work)) BridgeRightToLeft(polygon, holes, work);

    const std::vector<int32_t>& points = polygon.Points;
    auto emit = [&](int32_t a, int32_t b, int32_t c) {
        out.push_back({points[static_cast<size_t>(a)], points[static_cast<size_t>(b)], points[static_cast<size_t>(c)]});
    };
    const size_t count = points.size();
    if (count == 3) {
        emit(0, 1, 2);
        return;
    }
    // The area sign, measured as a fan from position 0.
    double area = 0;
    for (size_t k = 0; k < count; ++k)
        area += Cross(polygon.UV[0], polygon.UV[k], polygon.UV[(k + 1) % count]);
    work.Spend(count);
    TEarClipper clipper(polygon.UV, area >= 0, work);
    clipper.Run(hasHoles, emit);
}

}  // namespace voxaro
