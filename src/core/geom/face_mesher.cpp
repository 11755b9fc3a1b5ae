// Meshing a trimmed face in its surface's parameters.
//
// Lowering: every corner gets the (u, v) of its point, each periodic
// parameter unwrapped towards the corner before it, so a loop runs on without
// jumps. Three things of closed surfaces then need mending:
// - A seam edge, walked once each way, must lie a period apart on its two
//   walks; when the unwrapping put both walks on the same line, the second
//   walk and what follows it move by a period, to the side that leaves the
//   face's material on the loop's left.
// - At a pole (a sphere's pole, a cone's apex) u is arbitrary: the corner
//   becomes a line of points along the pole from the u it is reached at to
//   the u it is left at.
// - A loop that runs once round u (a circle with no seam) is opened there:
//   two such loops, one each way, are joined by two copies of a seam line a
//   period apart; a single one is closed along its pole.
// The loops are then cut into triangles (geom/polygon_triangulate.h) in
// parameters scaled to about the surface's lengths, the triangles are made
// Delaunay, and points are added at the centres of triangles that stray too
// far from the surface or whose corner normals differ too much. Boundary
// corners keep the caller's points, so faces that share an edge share its
// points exactly.
#include "geom/face_mesher.h"

#include <algorithm>
#include <cmath>

#include "geom/uv_mesh.h"

namespace voxaro {

namespace {

struct TCorner {
    TUV UV;
    TVec3 P;
    int32_t Id;
    int32_t Edge;
    bool Pole;
};
using TCornerLoop = std::vector<TCorner>;

constexpr int kMaxPolePieces = 64;
constexpr int kMaxSeamDepth = 10;
constexpr double kRuledSqueeze = 0.1;

double Unwrap(double x, double near, double period)
{
    return period > 0 ? x + period * std::round((near - x) / period) : x;
}

double LoopArea(const TCornerLoop& loop)
{
    double s = 0;
    for (size_t j = 0; j < loop.size(); ++j) {
        const TUV &a = loop[j].UV, &b = loop[(j + 1) % loop.size()].UV;
        s += a.U * b.V - a.V * b.U;
    }
    return s;
}

TCorner MadeCorner(const TSurface& s, double u, double v)
{
    return {{u, v}, SurfacePoint(s, u, v), -1, -1, false};
}

// (u, v) for every corner, unwrapped along the loop; false when a corner
// lies off the surface or the surface cannot place it.
// The hint carries over from loop to loop: a search near the last corner of
// the loop before is far cheaper than one over the whole surface.
bool Lower(const TSurface& s, const TTrimLoop& loop, double offLimit, TUVHint& hint, TCornerLoop& out)
{
    const double pu = SurfacePeriodU(s), pv = SurfacePeriodV(s);
    hint.Tolerance = offLimit / 20;
    bool haveU = false;
    double lastU = 0;
    out.clear();
    out.reserve(loop.Points.size());
    for (size_t i = 0; i < loop.Points.size(); ++i) {
        const TVec3& p = loop.Points[i];
        double u, v;
        bool pole;
        if (!SurfaceParam(s, p, hint, u, v, pole)) return false;
        if (!(Length(SurfacePoint(s, u, v) - p) <= offLimit)) return false;
        if (hint.Has) v = Unwrap(v, hint.V, pv);
        if (!pole) {
            if (haveU) u = Unwrap(u, lastU, pu);
            lastU = u, haveU = true;
        } else if (haveU) {
            u = lastU;
        }
        hint.Has = true, hint.U = u, hint.V = v;
        out.push_back({{u, v}, p, loop.Ids[i], loop.Edges[i], pole});
    }
    return true;  // a loop of poles only is a lone vertex, left to the caller
}

double Coord(const TCorner& c, int axis)
{
    return axis == 0 ? c.UV.U : c.UV.V;
}
double& Coord(TCorner& c, int axis)
{
    return axis == 0 ? c.UV.U : c.UV.V;
}

void Shift(TCornerLoop& loop, size_t from, int axis, double by)
{
    for (size_t i = from; i < loop.size(); ++i)
        Coord(loop[i], axis) += by;
}

// Runs of corners on one edge: (edge, first corner, one past the last).
struct TRun {
    int32_t Edge;
    size_t Begin, End;
};

std::vector<TRun> EdgeRuns(const TCornerLoop& loop)
{
    std::vector<TRun> runs;
    for (size_t i = 0; i < loop.size(); ++i) {
        if (runs.empty() || loop[i].Edge != runs.back().Edge) runs.push_back({loop[i].Edge, i, i});
        runs.back().End = i + 1;
    }
    return runs;
}

void RunRange(const TCornerLoop& loop, const TRun& r, int axis, double& lo, double& hi, double& mean)
{
    lo = INFINITY, hi = -INFINITY, mean = 0;
    int n = 0;
    for (size_t i = r.Begin; i < r.End; ++i) {
        if (loop[i].Pole) continue;
        const double x = Coord(loop[i], axis);
        lo = std::min(lo, x), hi = std::max(hi, x), mean += x, ++n;
    }
    mean = n ? mean / n : NAN;
}

// Puts the second walk of every seam a period away from the first (see the
// top of the file); materialLeft is +1 when the loop holds the face's
// material on its left in (u, v), -1 when on its right.
void MendSeams(TCornerLoop& loop, const double period[2], int materialLeft)
{
    const std::vector<TRun> runs = EdgeRuns(loop);
    for (size_t a = 0; a < runs.size(); ++a) {
        if (runs[a].Edge < 0) continue;
        for (size_t b = a + 1; b < runs.size(); ++b) {
            if (runs[b].Edge != runs[a].Edge) continue;
            for (int axis = 0; axis < 2; ++axis) {
                const double p = period[axis];
                if (!(p > 0)) continue;
                double lo1, hi1, m1, lo2, hi2, m2;
                RunRange(loop, runs[a], axis, lo1, hi1, m1);
                RunRange(loop, runs[b], axis, lo2, hi2, m2);
                if (!(hi1 - lo1 <= 1e-6 * p) || !(std::fabs(m2 - m1) < 0.5 * p)) continue;
                Shift(loop, runs[b].Begin, axis, p);
                const double plus = LoopArea(loop) * materialLeft;
                Shift(loop, runs[b].Begin, axis, -2 * p);
                if (plus > LoopArea(loop) * materialLeft) Shift(loop, runs[b].Begin, axis, 2 * p);
            }
        }
    }
}

// Points from a to b along a pole line, both ends included.
void PoleLine(const TCorner& pole, double u0, double u1, double maxStep, TCornerLoop& out)
{
    const double span = std::fabs(u1 - u0);
    const int n = std::clamp(static_cast<int>(std::ceil(span / maxStep)), 1, kMaxPolePieces);
    for (int k = 0; k <= n; ++k) {
        if (k > 0 && span == 0) break;
        TCorner c = pole;
        c.UV.U = u0 + (u1 - u0) * k / n;
        c.Pole = false;
        out.push_back(c);
    }
}

// Every pole corner becomes the pole line between its neighbours' u.
bool OpenPoles(TCornerLoop& loop, double maxStep)
{
    const size_t n = loop.size();
    bool any = false;
    for (const TCorner& c : loop)
        if (!c.Pole) any = true;
    if (!any) return false;
    TCornerLoop out;
    out.reserve(n + 8);
    for (size_t i = 0; i < n; ++i) {
        if (!loop[i].Pole) {
            out.push_back(loop[i]);
            continue;
        }
        size_t p = (i + n - 1) % n, q = (i + 1) % n;
        while (loop[p].Pole)
            p = (p + n - 1) % n;
        while (loop[q].Pole)
            q = (q + 1) % n;
        PoleLine(loop[i], loop[p].UV.U, loop[q].UV.U, maxStep, out);
    }
    loop.swap(out);
    return true;
}

// How many periods of u the loop runs round.
int WrapCount(const TCornerLoop& loop, double period)
{
    if (!(period > 0) || loop.size() < 2) return 0;
    const double first = loop.front().UV.U;
    return static_cast<int>(std::lround((Unwrap(first, loop.back().UV.U, period) - first) / period));
}

// Points strictly between a and b along the surface, so that chords stay
// within the tolerance.
void SeamPoints(const TSurface& s, const TUV& a, const TUV& b, double tolerance, int depth, std::vector<TUV>& out)
{
    const TUV m{(a.U + b.U) / 2, (a.V + b.V) / 2};
    const TVec3 pa = SurfacePoint(s, a.U, a.V), pb = SurfacePoint(s, b.U, b.V), pm = SurfacePoint(s, m.U, m.V);
    if (depth >= kMaxSeamDepth || !(Length(pm - (pa + pb) * 0.5) > tolerance)) return;
    SeamPoints(s, a, m, tolerance, depth + 1, out);
    out.push_back(m);
    SeamPoints(s, m, b, tolerance, depth + 1, out);
}

// Turns loop a to start at the corner whose u lies farthest from every
// other loop's u, so the seam line drawn from it crosses no hole.
void StartClearOf(TCornerLoop& a, const std::vector<TCornerLoop>& others, double period)
{
    std::vector<std::pair<double, double>> spans;  // (lowest u, width) of each other loop
    for (const TCornerLoop& l : others) {
        double lo = INFINITY, hi = -INFINITY;
        for (const TCorner& c : l)
            lo = std::min(lo, c.UV.U), hi = std::max(hi, c.UV.U);
        if (lo <= hi) spans.emplace_back(lo, hi - lo);
    }
    if (spans.empty()) return;
    size_t best = 0;
    double clearance = -1;
    for (size_t i = 0; i < a.size(); ++i) {
        double nearest = INFINITY;
        for (const auto& [lo, width] : spans) {
            const double into = std::fmod(std::fmod(a[i].UV.U - lo, period) + period, period);  // 0 .. period
            nearest = std::min(nearest, into <= width ? 0.0 : std::min(into - width, period - into));
        }
        if (nearest > clearance) clearance = nearest, best = i;
    }
    std::rotate(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(best), a.end());
    for (size_t i = 1; i < a.size(); ++i)
        a[i].UV.U = Unwrap(a[i].UV.U, a[i - 1].UV.U, period);
}

// Loop a (running once round u upwards) and loop b (downwards) joined into
// one by two copies of a seam line a period apart.
TCornerLoop JoinWraps(const TSurface& s, TCornerLoop a, TCornerLoop b, double period, double tolerance,
                      const std::vector<TCornerLoop>& others)
{
    StartClearOf(a, others, period);
    const double u0 = a.front().UV.U;
    size_t start = 0;
    double best = INFINITY;
    for (size_t j = 0; j < b.size(); ++j) {
        const double gap = std::fabs(Unwrap(b[j].UV.U, u0, period) - u0);
        if (gap < best) best = gap, start = j;
    }
    std::rotate(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(start), b.end());
    b[0].UV.U = Unwrap(b[0].UV.U, u0 + period, period);
    for (size_t j = 1; j < b.size(); ++j)
        b[j].UV.U = Unwrap(b[j].UV.U, b[j - 1].UV.U, period);

    TCorner aEnd = a.front(), bEnd = b.front();
    aEnd.UV.U += period;
    bEnd.UV.U -= period;
    std::vector<TUV> seam;
    SeamPoints(s, aEnd.UV, b.front().UV, tolerance, 0, seam);
    TCornerLoop out = std::move(a);
    out.push_back(aEnd);
    for (const TUV& q : seam)
        out.push_back(MadeCorner(s, q.U, q.V));
    out.insert(out.end(), b.begin(), b.end());
    out.push_back(bEnd);
    for (size_t k = seam.size(); k-- > 0;)
        out.push_back(MadeCorner(s, seam[k].U - period, seam[k].V));
    return out;
}

// Loop a, running once round u (wraps +1 or -1), closed along the pole on
// the side of the face's material.
bool CloseAtPole(const TSurface& s, TCornerLoop& a, int wraps, double period, bool sameSense, double maxStep)
{
    double vPole;
    if (!SurfacePoleV(s, (wraps > 0) == sameSense, vPole)) return false;
    TCorner end = a.front();
    end.UV.U += wraps * period;
    a.push_back(end);
    const TCorner pole = MadeCorner(s, 0, vPole);
    TCornerLoop line;
    PoleLine(pole, end.UV.U, a.front().UV.U, maxStep, line);
    a.insert(a.end(), line.begin(), line.end());
    return true;
}

// Resolves loops that run round u; false when they cannot be resolved.
bool ResolveWraps(const TSurface& s, std::vector<TCornerLoop>& loops, bool sameSense, const TFaceQuality& q)
{
    const double pu = SurfacePeriodU(s), pv = SurfacePeriodV(s);
    std::vector<size_t> up, down;
    for (size_t k = 0; k < loops.size(); ++k) {
        if (pv > 0 && loops[k].size() >= 2) {
            const double first = loops[k].front().UV.V;
            if (std::lround((Unwrap(first, loops[k].back().UV.V, pv) - first) / pv) != 0) return false;
        }
        const int w = WrapCount(loops[k], pu);
        if (w == 1) up.push_back(k);
        if (w == -1) down.push_back(k);
        if (w > 1 || w < -1) return false;
    }
    if (up.empty() && down.empty()) return true;
    if (up.size() == 1 && down.size() == 1) {
        std::vector<TCornerLoop> others;
        for (size_t k = 0; k < loops.size(); ++k)
            if (k != up[0] && k != down[0]) others.push_back(loops[k]);
        loops[up[0]] = JoinWraps(s, std::move(loops[up[0]]), std::move(loops[down[0]]), pu, q.Tolerance, others);
        loops.erase(loops.begin() + static_cast<std::ptrdiff_t>(down[0]));
        return true;
    }
    if (up.size() + down.size() == 1) {
        const size_t k = up.empty() ? down[0] : up[0];
        return CloseAtPole(s, loops[k], up.empty() ? -1 : 1, pu, sameSense, q.MaxAngle);
    }
    return false;
}

// Whether p lies inside the loop (crossings of a ray towards +u).
bool Inside(const TCornerLoop& loop, const TUV& p)
{
    bool in = false;
    for (size_t j = 0, i = loop.size() - 1; j < loop.size(); i = j++) {
        const TUV &a = loop[i].UV, &b = loop[j].UV;
        if ((a.V > p.V) != (b.V > p.V) && p.U < a.U + (p.V - a.V) * (b.U - a.U) / (b.V - a.V)) in = !in;
    }
    return in;
}

// Moves every loop but the largest by whole periods into the largest.
size_t AlignLoops(std::vector<TCornerLoop>& loops, double pu, double pv)
{
    size_t outer = 0;
    for (size_t k = 1; k < loops.size(); ++k)
        if (std::fabs(LoopArea(loops[k])) > std::fabs(LoopArea(loops[outer]))) outer = k;
    for (size_t k = 0; k < loops.size(); ++k) {
        if (k == outer) continue;
        // Of the copies a period apart, the one inside the largest loop.
        const TUV at = loops[k].front().UV;
        int bestI = 0, bestJ = 0;
        for (int i = pu > 0 ? -2 : 0; i <= (pu > 0 ? 2 : 0); ++i)
            for (int j = pv > 0 ? -2 : 0; j <= (pv > 0 ? 2 : 0); ++j)
                if (Inside(loops[outer], {at.U + i * pu, at.V + j * pv})) bestI = i, bestJ = j;
        Shift(loops[k], 0, 0, bestI * pu);
        Shift(loops[k], 0, 1, bestJ * pv);
    }
    return outer;
}

// Lengths of a unit step in u and in v at the middle of the loops.
void ParameterScale(const TSurface& s, const std::vector<TCornerLoop>& loops, double& su, double& sv)
{
    double u0 = INFINITY, u1 = -INFINITY, v0 = INFINITY, v1 = -INFINITY;
    for (const TCornerLoop& l : loops)
        for (const TCorner& c : l)
            u0 = std::min(u0, c.UV.U), u1 = std::max(u1, c.UV.U), v0 = std::min(v0, c.UV.V), v1 = std::max(v1, c.UV.V);
    const double u = (u0 + u1) / 2, v = (v0 + v1) / 2;
    const double hu = std::max(1e-9, (u1 - u0) * 1e-3), hv = std::max(1e-9, (v1 - v0) * 1e-3);
    su = Length(SurfacePoint(s, u + hu, v) - SurfacePoint(s, u - hu, v)) / (2 * hu);
    sv = Length(SurfacePoint(s, u, v + hv) - SurfacePoint(s, u, v - hv)) / (2 * hv);
    if (!(su > 1e-12) || !std::isfinite(su)) su = 1;
    if (!(sv > 1e-12) || !std::isfinite(sv)) sv = 1;
    // Surfaces straight along v: squeezing v makes the triangles run along
    // the straight lines, which need no points inside.
    if (s.Kind == skCylinder || s.Kind == skCone || s.Kind == skExtrusion) sv *= kRuledSqueeze;
}

// The refinement: mesh points with their 3-D positions and normals.
class TRefiner {
public:
    TRefiner(const TSurface& s, double su, double sv, const TFaceQuality& q, TMeshedFace& out)
        : S_(s), Su_(su), Sv_(sv), Q_(q), CosMax_(std::cos(q.MaxAngle)), Out_(out)
    {
    }

    void AddCorner(const TCorner& c)
    {
        TVec3 p, n;
        SurfacePointAndNormal(S_, c.UV.U, c.UV.V, p, n);
        Out_.Points.push_back(c.P);
        Out_.Normals.push_back(n);
        Out_.Ids.push_back(c.Id);
    }

    void Run(TUVMesh& mesh, TWorkBudget& work)
    {
        // Breadth first, so the points spread evenly when the ceiling cuts in.
        std::vector<int32_t> queue(mesh.Tris.size()), touched;
        for (size_t t = 0; t < queue.size(); ++t)
            queue[t] = static_cast<int32_t>(t);
        for (size_t next = 0; next < queue.size() && mesh.Points.size() < Q_.MaxPoints; ++next) {
            const int32_t t = queue[next];
            work.Spend(1);
            TUV centre;
            if (!NeedsPoint(mesh, t, centre)) continue;
            touched.clear();
            // Halving the longest edge keeps triangles well shaped; a bound
            // is never split, its triangle gets a point in its middle.
            const int k = LongestEdge(mesh, t);
            const TUVMesh::TTri& r = mesh.Tris[static_cast<size_t>(t)];
            if (!r.C[k] && r.N[k] >= 0) {
                const TUV &a = mesh.Points[static_cast<size_t>(r.V[k])],
                          &b = mesh.Points[static_cast<size_t>(r.V[(k + 1) % 3])];
                centre = {(a.U + b.U) / 2, (a.V + b.V) / 2};
                mesh.InsertOnEdge(t, k, centre, touched);
            } else {
                mesh.Insert(t, centre, touched);
            }
            TVec3 p, n;
            SurfacePointAndNormal(S_, centre.U / Su_, centre.V / Sv_, p, n);
            Out_.Points.push_back(p);
            Out_.Normals.push_back(n);
            Out_.Ids.push_back(-1);
            work.Spend(touched.size());
            queue.insert(queue.end(), touched.begin(), touched.end());
        }
    }

private:
    int LongestEdge(const TUVMesh& mesh, int32_t t) const
    {
        const TUVMesh::TTri& r = mesh.Tris[static_cast<size_t>(t)];
        int best = 0;
        double length = -1;
        for (int k = 0; k < 3; ++k) {
            const double l =
                Length(Out_.Points[static_cast<size_t>(r.V[(k + 1) % 3])] - Out_.Points[static_cast<size_t>(r.V[k])]);
            if (l > length) length = l, best = k;
        }
        return best;
    }

    bool NeedsPoint(const TUVMesh& mesh, int32_t t, TUV& centre) const
    {
        const TUVMesh::TTri& r = mesh.Tris[static_cast<size_t>(t)];
        const size_t a = static_cast<size_t>(r.V[0]), b = static_cast<size_t>(r.V[1]), c = static_cast<size_t>(r.V[2]);
        const TVec3 &pa = Out_.Points[a], &pb = Out_.Points[b], &pc = Out_.Points[c];
        const double longest = std::max({Length(pb - pa), Length(pc - pb), Length(pa - pc)});
        if (!(longest > 2 * Q_.Tolerance)) return false;
        const TUV &ua = mesh.Points[a], &ub = mesh.Points[b], &uc = mesh.Points[c];
        // A sliver along the boundary (three corners of one straight run in
        // the parameters) is the surface between a chord and its curve: a
        // point inside it would land on the boundary.
        const double du = std::max({std::fabs(ub.U - ua.U), std::fabs(uc.U - ub.U), std::fabs(ua.U - uc.U)});
        const double dv = std::max({std::fabs(ub.V - ua.V), std::fabs(uc.V - ub.V), std::fabs(ua.V - uc.V)});
        if (!(mesh.Area2(t) > 1e-6 * (du * du + dv * dv))) return false;
        centre = {(ua.U + ub.U + uc.U) / 3, (ua.V + ub.V + uc.V) / 3};
        TVec3 p, n;
        SurfacePointAndNormal(S_, centre.U / Su_, centre.V / Sv_, p, n);
        if (Length(p - (pa + pb + pc) * (1.0 / 3)) > Q_.Tolerance) return true;
        // The normal in the middle against the corners': a boundary edge
        // whose ends turn by the largest angle allowed is fine as it is.
        return std::min({Dot(n, Out_.Normals[a]), Dot(n, Out_.Normals[b]), Dot(n, Out_.Normals[c])}) < CosMax_;
    }

    const TSurface& S_;
    double Su_, Sv_;
    const TFaceQuality& Q_;
    double CosMax_;
    TMeshedFace& Out_;
};

// Twice the area the triangles cover in the scaled parameters.
double CoveredArea2(const TUVMesh& mesh)
{
    double sum = 0;
    for (size_t t = 0; t < mesh.Tris.size(); ++t)
        sum += std::max(0.0, mesh.Area2(static_cast<int32_t>(t)));
    return sum;
}

// Parameters along the side from a to b, both ends included: steps of at
// most the largest angle, halved further where chords stray from the surface.
std::vector<TUV> SidePoints(const TSurface& s, const TUV& a, const TUV& b, const TFaceQuality& q)
{
    const double span = std::max(std::fabs(b.U - a.U), std::fabs(b.V - a.V));
    const int n = std::clamp(static_cast<int>(std::ceil(span / q.MaxAngle)), 1, kMaxPolePieces);
    std::vector<TUV> out{a};
    for (int k = 1; k <= n; ++k) {
        const TUV p{a.U + (b.U - a.U) * (k - 1) / n, a.V + (b.V - a.V) * (k - 1) / n};
        const TUV e{a.U + (b.U - a.U) * k / n, a.V + (b.V - a.V) * k / n};
        SeamPoints(s, p, e, q.Tolerance, 0, out);
        out.push_back(e);
    }
    return out;
}

// A face with no bound but lone vertices covers its whole closed surface
// (a sphere, a torus): its parameter rectangle, whose opposite sides are
// seams or poles, divided alike so that the seams close.
bool WholeSurface(const TSurface& s, const TFaceQuality& q, std::vector<TCornerLoop>& lowered)
{
    double u0 = 0, u1 = SurfacePeriodU(s), v0, v1;
    if (!(u1 > 0)) return false;
    if (SurfacePeriodV(s) > 0) {
        v0 = 0, v1 = SurfacePeriodV(s);
    } else if (!SurfacePoleV(s, false, v0) || !SurfacePoleV(s, true, v1)) {
        return false;
    }
    const std::vector<TUV> along = SidePoints(s, {u0, v0}, {u1, v0}, q);  // the bottom, and the top a period up
    const std::vector<TUV> up = SidePoints(s, {u0, v0}, {u0, v1}, q);     // the seam, and its copy a period on
    TCornerLoop loop;
    for (size_t k = 0; k + 1 < along.size(); ++k)
        loop.push_back(MadeCorner(s, along[k].U, v0));
    for (size_t k = 0; k + 1 < up.size(); ++k)
        loop.push_back(MadeCorner(s, u1, up[k].V));
    for (size_t k = along.size() - 1; k > 0; --k)
        loop.push_back(MadeCorner(s, along[k].U, v1));
    for (size_t k = up.size() - 1; k > 0; --k)
        loop.push_back(MadeCorner(s, u0, up[k].V));
    lowered.push_back(std::move(loop));
    return true;
}

bool LowerLoops(const TSurface& s, bool sameSense, const std::vector<TTrimLoop>& loops, const TFaceQuality& q,
                std::vector<TCornerLoop>& lowered)
{
    const double period[2] = {SurfacePeriodU(s), SurfacePeriodV(s)};
    bool anyOuter = false;
    for (const TTrimLoop& l : loops)
        anyOuter = anyOuter || l.Outer;
    const double offLimit = std::max(10 * q.Tolerance, 1e-7);
    TUVHint hint;
    for (size_t k = 0; k < loops.size(); ++k) {
        const TTrimLoop& l = loops[k];
        if (l.Points.empty() || l.Ids.size() != l.Points.size() || l.Edges.size() != l.Points.size()) return false;
        TCornerLoop c;
        if (!Lower(s, l, offLimit, hint, c)) return false;
        const bool outer = anyOuter ? l.Outer : k == 0;
        MendSeams(c, period, (outer ? 1 : -1) * (sameSense ? 1 : -1));
        if (!OpenPoles(c, q.MaxAngle)) continue;  // a lone vertex (a cone's apex): its pole line comes from the wrap
        lowered.push_back(std::move(c));
    }
    if (lowered.empty()) return WholeSurface(s, q, lowered);
    return ResolveWraps(s, lowered, sameSense, q);
}

}  // namespace

bool MeshFaceOnSurface(const TSurface& s, bool sameSense, const std::vector<TTrimLoop>& loops,
                       const TFaceQuality& quality, TWorkBudget& work, TMeshedFace& out)
{
    out = TMeshedFace();
    if (!SurfaceIsUsable(s)) return false;
    std::vector<TCornerLoop> lowered;
    if (!LowerLoops(s, sameSense, loops, quality, lowered)) return false;
    const size_t outer = AlignLoops(lowered, SurfacePeriodU(s), SurfacePeriodV(s));
    double su, sv;
    ParameterScale(s, lowered, su, sv);

    TRefiner refiner(s, su, sv, quality, out);
    std::vector<TUV> points;
    std::vector<std::vector<int32_t>> chains(lowered.size());
    double expected = 0;
    for (size_t k = 0; k < lowered.size(); ++k) {
        std::vector<TUV> uv;
        for (const TCorner& c : lowered[k]) {
            const TUV scaled{c.UV.U * su, c.UV.V * sv};
            chains[k].push_back(static_cast<int32_t>(points.size()));
            points.push_back(scaled);
            uv.push_back(scaled);
            refiner.AddCorner(c);
        }
        expected += (k == outer ? 1 : -1) * std::fabs(SignedArea2(uv));
    }
    work.Spend(points.size());
    TUVMesh mesh;
    if (!(expected > 0) || !mesh.Triangulate(std::move(points), chains, work) ||
        !(std::fabs(CoveredArea2(mesh) - expected) <= 0.02 * expected)) {
        out = TMeshedFace();
        return false;
    }
    refiner.Run(mesh, work);

    const double sign = sameSense ? 1.0 : -1.0;
    for (TVec3& n : out.Normals)
        n = n * sign;
    out.Triangles.reserve(mesh.Tris.size());
    for (size_t t = 0; t < mesh.Tris.size(); ++t) {
        const TUVMesh::TTri& r = mesh.Tris[t];
        if (sameSense)
            out.Triangles.push_back({r.V[0], r.V[1], r.V[2]});
        else
            out.Triangles.push_back({r.V[0], r.V[2], r.V[1]});
    }
    return true;
}

}  // namespace voxaro
