// The constrained Delaunay triangulation: points are inserted one by one
// into a triangle that holds them all (found by walking from where the last
// one went, then made Delaunay by flips), each bound is then forced in by
// flipping the edges it crosses (Sloan's way), and the triangles are sorted
// by how many bounds lie between them and the outside: those inside an odd
// number are kept.
#include "geom/uv_mesh.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <utility>

namespace voxaro {

namespace {

inline int Next(int k)
{
    return k == 2 ? 0 : k + 1;
}
inline int Prev(int k)
{
    return k == 0 ? 2 : k - 1;
}

// Positive when d lies inside the circle through the counter-clockwise a, b,
// c, by more than rounding can explain.
bool InCircle(const TUV& a, const TUV& b, const TUV& c, const TUV& d)
{
    const double ax = a.U - d.U, ay = a.V - d.V, bx = b.U - d.U, by = b.V - d.V, cx = c.U - d.U, cy = c.V - d.V;
    const double a2 = ax * ax + ay * ay, b2 = bx * bx + by * by, c2 = cx * cx + cy * cy;
    const double det = a2 * (bx * cy - by * cx) + b2 * (cx * ay - cy * ax) + c2 * (ax * by - ay * bx);
    const double size = a2 * (std::fabs(bx * cy) + std::fabs(by * cx)) +
                        b2 * (std::fabs(cx * ay) + std::fabs(cy * ax)) + c2 * (std::fabs(ax * by) + std::fabs(ay * bx));
    return det > 1e-12 * size;
}

// The side of line a -> b that p is on: +1 left, -1 right, 0 on it (within
// rounding).
int Side(const TUV& a, const TUV& b, const TUV& p)
{
    const double c = Cross(a, b, p);
    const double size = (std::fabs(b.U - a.U) + std::fabs(b.V - a.V)) * (std::fabs(p.U - a.U) + std::fabs(p.V - a.V));
    if (std::fabs(c) <= 1e-13 * size) return 0;
    return c > 0 ? 1 : -1;
}

}  // namespace

double TUVMesh::Area2(int32_t t) const
{
    const TTri& r = Tris[static_cast<size_t>(t)];
    return Cross(Points[static_cast<size_t>(r.V[0])], Points[static_cast<size_t>(r.V[1])],
                 Points[static_cast<size_t>(r.V[2])]);
}

void TUVMesh::Touch(int32_t t)
{
    for (int32_t v : Tris[static_cast<size_t>(t)].V)
        VertexTri_[static_cast<size_t>(v)] = t;
}

// In triangle t, the edge from -> to gets neighbour (and the bound flag).
void TUVMesh::SetAcross(int32_t t, int32_t from, int32_t to, int32_t neighbour, uint8_t bound)
{
    if (t < 0) return;
    TTri& r = Tris[static_cast<size_t>(t)];
    for (int k = 0; k < 3; ++k)
        if (r.V[k] == from && r.V[Next(k)] == to) r.N[k] = neighbour, r.C[k] = bound;
}

// Walks from the last triangle towards p.
TUVMesh::TWhere TUVMesh::Locate(const TUV& p, int32_t& t, int& k, TWorkBudget& work) const
{
    t = Last_;
    const size_t limit = 3 * Tris.size() + 64;
    for (size_t step = 0; step < limit; ++step) {
        const TTri& r = Tris[static_cast<size_t>(t)];
        int moved = -1, zero = -1;
        for (int i = 0; i < 3 && moved < 0; ++i) {
            const int e = (i + static_cast<int>(step)) % 3;
            const int s = Side(Points[static_cast<size_t>(r.V[e])], Points[static_cast<size_t>(r.V[Next(e)])], p);
            if (s < 0) moved = e;
            if (s == 0) zero = e;
        }
        if (moved >= 0) {
            if (r.N[moved] < 0) return wLost;
            t = r.N[moved];
            continue;
        }
        work.Spend(step + 1);
        for (int i = 0; i < 3; ++i) {
            const TUV& v = Points[static_cast<size_t>(r.V[i])];
            if (v.U == p.U && v.V == p.V) return k = i, wVertex;
        }
        if (zero >= 0) return k = zero, wOnEdge;
        return wInside;
    }
    return wLost;
}

void TUVMesh::SplitTriangle(int32_t t, int32_t q, std::vector<int32_t>* touched)
{
    const TTri old = Tris[static_cast<size_t>(t)];
    const int32_t a = old.V[0], b = old.V[1], c = old.V[2];
    const int32_t t2 = static_cast<int32_t>(Tris.size()), t3 = t2 + 1;
    Tris[static_cast<size_t>(t)] = {{a, b, q}, {old.N[0], t2, t3}, {old.C[0], 0, 0}};
    Tris.push_back({{b, c, q}, {old.N[1], t3, t}, {old.C[1], 0, 0}});
    Tris.push_back({{c, a, q}, {old.N[2], t, t2}, {old.C[2], 0, 0}});
    SetAcross(old.N[1], c, b, t2, old.C[1]);
    SetAcross(old.N[2], a, c, t3, old.C[2]);
    for (int32_t x : {t, t2, t3})
        Touch(x);
    if (touched) touched->insert(touched->end(), {t, t2, t3});
    Stack_.insert(Stack_.end(), {{t, 0}, {t2, 0}, {t3, 0}});
}

// Point q on edge k (a -> b) of t, whose other side is u (b -> a, d opposite).
void TUVMesh::SplitEdge(int32_t t, int k, int32_t q, std::vector<int32_t>* touched)
{
    const TTri T = Tris[static_cast<size_t>(t)];
    const int32_t a = T.V[k], b = T.V[Next(k)], c = T.V[Prev(k)], u = T.N[k];
    const uint8_t bound = T.C[k];
    const int32_t t2 = static_cast<int32_t>(Tris.size());
    Tris[static_cast<size_t>(t)] = {{a, q, c}, {-1, t2, T.N[Prev(k)]}, {bound, 0, T.C[Prev(k)]}};
    Tris.push_back({{q, b, c}, {-1, T.N[Next(k)], t}, {bound, T.C[Next(k)], 0}});
    SetAcross(T.N[Next(k)], c, b, t2, T.C[Next(k)]);
    std::vector<int32_t> made{t, t2};
    if (u >= 0) {
        const TTri U = Tris[static_cast<size_t>(u)];
        int j = 0;
        while (j < 3 && !(U.V[j] == b && U.V[Next(j)] == a))
            ++j;
        const int32_t d = U.V[Prev(j)], u2 = static_cast<int32_t>(Tris.size());
        Tris[static_cast<size_t>(u)] = {{b, q, d}, {t2, u2, U.N[Prev(j)]}, {bound, 0, U.C[Prev(j)]}};
        Tris.push_back({{q, a, d}, {t, U.N[Next(j)], u}, {bound, U.C[Next(j)], 0}});
        SetAcross(U.N[Next(j)], d, a, u2, U.C[Next(j)]);
        Tris[static_cast<size_t>(t)].N[0] = u2;
        Tris[static_cast<size_t>(t2)].N[0] = u;
        made.insert(made.end(), {u, u2});
    }
    for (int32_t x : made) {
        Touch(x);
        Stack_.emplace_back(x, 0), Stack_.emplace_back(x, 1), Stack_.emplace_back(x, 2);
    }
    if (touched) touched->insert(touched->end(), made.begin(), made.end());
}

// Edge k of t (a -> b, c opposite) and its neighbour u (b -> a, d opposite)
// become t = (a, d, c) and u = (d, b, c).
void TUVMesh::Flip(int32_t t, int k)
{
    const int32_t u = Tris[static_cast<size_t>(t)].N[k];
    const TTri T = Tris[static_cast<size_t>(t)], U = Tris[static_cast<size_t>(u)];
    const int32_t a = T.V[k], b = T.V[Next(k)], c = T.V[Prev(k)];
    int j = 0;
    while (j < 3 && !(U.V[j] == b && U.V[Next(j)] == a))
        ++j;
    const int32_t d = U.V[Prev(j)];
    Tris[static_cast<size_t>(t)] = {{a, d, c}, {U.N[Next(j)], u, T.N[Prev(k)]}, {U.C[Next(j)], 0, T.C[Prev(k)]}};
    Tris[static_cast<size_t>(u)] = {{d, b, c}, {U.N[Prev(j)], T.N[Next(k)], t}, {U.C[Prev(j)], T.C[Next(k)], 0}};
    SetAcross(U.N[Next(j)], d, a, t, U.C[Next(j)]);
    SetAcross(T.N[Next(k)], c, b, u, T.C[Next(k)]);
    Touch(t), Touch(u);
}

bool TUVMesh::FlipIfIllegal(int32_t t, int k, std::vector<int32_t>* touched)
{
    const TTri& T = Tris[static_cast<size_t>(t)];
    const int32_t u = T.N[k];
    if (u < 0 || T.C[k]) return false;
    const TTri& U = Tris[static_cast<size_t>(u)];
    const int32_t a = T.V[k], b = T.V[Next(k)], c = T.V[Prev(k)];
    int j = 0;
    while (j < 3 && !(U.V[j] == b && U.V[Next(j)] == a))
        ++j;
    if (j == 3) return false;
    const int32_t d = U.V[Prev(j)];
    const TUV &pa = Points[static_cast<size_t>(a)], &pb = Points[static_cast<size_t>(b)],
              &pc = Points[static_cast<size_t>(c)], &pd = Points[static_cast<size_t>(d)];
    if (!InCircle(pa, pb, pc, pd) || !(Cross(pa, pd, pc) > 0) || !(Cross(pd, pb, pc) > 0)) return false;
    Flip(t, k);
    if (touched) touched->insert(touched->end(), {t, u});
    Stack_.insert(Stack_.end(), {{t, 0}, {t, 2}, {u, 0}, {u, 1}});
    return true;
}

void TUVMesh::Legalize(std::vector<int32_t>* touched)
{
    size_t steps = 0;
    const size_t limit = 16 * Tris.size() + 1024;
    while (!Stack_.empty() && steps++ < limit) {
        const auto [t, k] = Stack_.back();
        Stack_.pop_back();
        FlipIfIllegal(t, k, touched);
    }
    Stack_.clear();
}

// The triangle and edge index of edge a -> b, or -1. Turns round a one way,
// and the other way from where it started when it meets the outside.
int32_t TUVMesh::FindEdge(int32_t a, int32_t b, int& k) const
{
    const int32_t start = VertexTri_[static_cast<size_t>(a)];
    for (int way = 0; way < 2; ++way) {
        int32_t t = start;
        for (size_t step = 0; step <= Tris.size() && t >= 0; ++step) {
            const TTri& r = Tris[static_cast<size_t>(t)];
            int i = 0;
            while (i < 3 && r.V[i] != a)
                ++i;
            if (i == 3) return -1;
            if (r.V[Next(i)] == b) return k = i, t;
            t = way == 0 ? r.N[Prev(i)] : r.N[i];
            if (t == start) return -1;
        }
    }
    return -1;
}

// The first edge that segment a -> b crosses: edge k of triangle t, or a
// point `through` that lies on the segment. False when neither is found.
bool TUVMesh::Crossing(int32_t a, int32_t b, int32_t& t, int& k, int32_t& through) const
{
    const TUV &pa = Points[static_cast<size_t>(a)], &pb = Points[static_cast<size_t>(b)];
    through = -1;
    const int32_t start = VertexTri_[static_cast<size_t>(a)];
    t = start;
    for (size_t step = 0; step <= Tris.size() && t >= 0; ++step) {
        const TTri& r = Tris[static_cast<size_t>(t)];
        int i = 0;
        while (i < 3 && r.V[i] != a)
            ++i;
        if (i == 3) return false;
        const int32_t p = r.V[Next(i)], q = r.V[Prev(i)];
        const TUV &pp = Points[static_cast<size_t>(p)], &pq = Points[static_cast<size_t>(q)];
        const int sp = Side(pa, pb, pp), sq = Side(pa, pb, pq);
        auto ahead = [&](const TUV& x) { return (x.U - pa.U) * (pb.U - pa.U) + (x.V - pa.V) * (pb.V - pa.V) > 0; };
        if (sp == 0 && ahead(pp)) return through = p, true;
        if (sq == 0 && ahead(pq)) return through = q, true;
        if (sp < 0 && sq > 0) return k = Next(i), true;
        t = r.N[Prev(i)];
        if (t == start) return false;
    }
    return false;
}

// Forces the bound a -> b into the mesh.
bool TUVMesh::AddBound(int32_t a0, int32_t b0, TWorkBudget& work, int)
{
    std::vector<std::pair<int32_t, int32_t>> pending{{a0, b0}};
    size_t rounds = 0;
    while (!pending.empty()) {
        if (++rounds > 4 * Points.size() + 64) return false;
        const auto [a, b] = pending.back();
        pending.pop_back();
        if (a == b) continue;
        int k;
        int32_t t = FindEdge(a, b, k);
        if (t >= 0 || (t = FindEdge(b, a, k)) >= 0) {
            const TTri& r = Tris[static_cast<size_t>(t)];
            SetAcross(t, r.V[k], r.V[Next(k)], r.N[k], 1);
            SetAcross(r.N[k], r.V[Next(k)], r.V[k], t, 1);
            continue;
        }
        int32_t through;
        if (!Crossing(a, b, t, k, through)) return false;
        if (through >= 0) {
            pending.emplace_back(through, b), pending.emplace_back(a, through);
            continue;
        }
        // The edges the segment crosses, in order, as pairs of ends.
        const TUV &pa = Points[static_cast<size_t>(a)], &pb = Points[static_cast<size_t>(b)];
        std::deque<std::pair<int32_t, int32_t>> crossed;
        bool split = false;
        for (size_t step = 0; step <= Tris.size(); ++step) {
            const TTri& r = Tris[static_cast<size_t>(t)];
            const int32_t p = r.V[k], q = r.V[Next(k)], u = r.N[k];
            crossed.emplace_back(p, q);
            if (u < 0) return false;
            const TTri& s = Tris[static_cast<size_t>(u)];
            int j = 0;
            while (j < 3 && !(s.V[j] == q && s.V[Next(j)] == p))
                ++j;
            if (j == 3) return false;
            const int32_t o = s.V[Prev(j)];
            if (o == b) break;
            const int side = Side(pa, pb, Points[static_cast<size_t>(o)]);
            if (side == 0) {
                pending.emplace_back(o, b), pending.emplace_back(a, o);
                split = true;
                break;
            }
            // Leave through the edge whose ends lie on both sides.
            t = u;
            k = side == Side(pa, pb, Points[static_cast<size_t>(p)]) ? Prev(j) : Next(j);
        }
        if (split) continue;
        work.Spend(crossed.size());
        for (size_t guard = 0; !crossed.empty(); ++guard) {
            if (guard > 64 * (crossed.size() + 16)) return false;
            const auto [p, q] = crossed.front();
            crossed.pop_front();
            int e;
            const int32_t at = FindEdge(p, q, e);
            if (at < 0) continue;  // flipped away already
            const TTri& r = Tris[static_cast<size_t>(at)];
            const int32_t c = r.V[Prev(e)], u = r.N[e];
            if (u < 0) return false;
            const TTri& s = Tris[static_cast<size_t>(u)];
            int j = 0;
            while (j < 3 && !(s.V[j] == q && s.V[Next(j)] == p))
                ++j;
            const int32_t d = s.V[Prev(j)];
            const TUV &pp = Points[static_cast<size_t>(p)], &pq = Points[static_cast<size_t>(q)],
                      &pc = Points[static_cast<size_t>(c)], &pd = Points[static_cast<size_t>(d)];
            if (!(Cross(pp, pd, pc) > 0) || !(Cross(pd, pq, pc) > 0)) {  // not convex: later
                crossed.emplace_back(p, q);
                continue;
            }
            Flip(at, e);
            const int sc = Side(pa, pb, pc), sd = Side(pa, pb, pd);
            if (c != a && c != b && d != a && d != b && sc * sd < 0) crossed.emplace_back(c, d);
        }
        pending.emplace_back(a, b);  // now an edge: marked on the next round
    }
    return true;
}

// Keeps the triangles inside an odd number of bounds and drops the rest.
void TUVMesh::KeepInside()
{
    // Breadth first by level: a triangle takes the level of the first
    // triangle that reaches it without crossing a bound; crossing one leads
    // to the next level, taken only when nothing reaches it on this one.
    std::vector<int> depth(Tris.size(), -1);
    std::deque<int32_t> now, later;
    for (size_t t = 0; t < Tris.size(); ++t)
        for (int k = 0; k < 3; ++k)
            if (Tris[t].N[k] < 0) later.push_back(static_cast<int32_t>(t));
    for (int level = 0; !later.empty(); ++level) {
        now.swap(later);
        for (int32_t t : now)
            if (depth[static_cast<size_t>(t)] < 0) depth[static_cast<size_t>(t)] = level;
        while (!now.empty()) {
            const int32_t t = now.front();
            now.pop_front();
            if (depth[static_cast<size_t>(t)] != level) continue;
            for (int k = 0; k < 3; ++k) {
                const int32_t u = Tris[static_cast<size_t>(t)].N[k];
                if (u < 0 || depth[static_cast<size_t>(u)] >= 0) continue;
                if (Tris[static_cast<size_t>(t)].C[k]) {
                    later.push_back(u);
                } else {
                    depth[static_cast<size_t>(u)] = level;
                    now.push_back(u);
                }
            }
        }
    }
    std::vector<int32_t> moved(Tris.size(), -1);
    size_t kept = 0;
    for (size_t t = 0; t < Tris.size(); ++t)
        if (depth[t] % 2 == 1) moved[t] = static_cast<int32_t>(kept++);
    std::vector<TTri> inside;
    inside.reserve(kept);
    for (size_t t = 0; t < Tris.size(); ++t) {
        if (moved[t] < 0) continue;
        TTri r = Tris[t];
        for (int k = 0; k < 3; ++k)
            r.N[k] = r.N[k] < 0 ? -1 : moved[static_cast<size_t>(r.N[k])];
        inside.push_back(r);
    }
    Tris.swap(inside);
}

bool TUVMesh::Triangulate(std::vector<TUV> points, const std::vector<std::vector<int32_t>>& loops, TWorkBudget& work)
{
    Points = std::move(points);
    Tris.clear();
    const size_t n = Points.size();
    if (n < 3) return false;
    double u0 = INFINITY, u1 = -INFINITY, v0 = INFINITY, v1 = -INFINITY;
    for (const TUV& p : Points) {
        if (!std::isfinite(p.U) || !std::isfinite(p.V)) return false;
        u0 = std::min(u0, p.U), u1 = std::max(u1, p.U), v0 = std::min(v0, p.V), v1 = std::max(v1, p.V);
    }
    // A triangle round everything, far enough that its corners never matter.
    const double size = std::max(u1 - u0, v1 - v0) + 1e-9 * (1 + std::fabs(u0) + std::fabs(v0));
    const double cu = (u0 + u1) / 2, cv = (v0 + v1) / 2;
    Points.push_back({cu - 20 * size, cv - 10 * size});
    Points.push_back({cu + 20 * size, cv - 10 * size});
    Points.push_back({cu, cv + 20 * size});
    const int32_t s = static_cast<int32_t>(n);
    Tris.push_back({{s, s + 1, s + 2}, {-1, -1, -1}, {0, 0, 0}});
    VertexTri_.assign(Points.size(), 0);
    Alias.resize(n);
    Last_ = 0;
    for (size_t i = 0; i < n; ++i) {
        int32_t t;
        int k;
        const TWhere where = Locate(Points[i], t, k, work);
        if (where == wLost) return false;
        if (where == wVertex) {
            Alias[i] = Tris[static_cast<size_t>(t)].V[k];
            continue;
        }
        Alias[i] = static_cast<int32_t>(i);
        if (where == wOnEdge)
            SplitEdge(t, k, static_cast<int32_t>(i), nullptr);
        else
            SplitTriangle(t, static_cast<int32_t>(i), nullptr);
        Legalize(nullptr);
        Last_ = VertexTri_[i];
    }
    for (const std::vector<int32_t>& loop : loops)
        for (size_t j = 0; j < loop.size(); ++j) {
            const int32_t a = Alias[static_cast<size_t>(loop[j])],
                          b = Alias[static_cast<size_t>(loop[(j + 1) % loop.size()])];
            if (!AddBound(a, b, work, 0)) return false;
        }
    for (size_t t = 0; t < Tris.size(); ++t)
        for (int k = 0; k < 3; ++k)
            Stack_.emplace_back(static_cast<int32_t>(t), k);
    Legalize(nullptr);
    KeepInside();
    Points.resize(n);
    VertexTri_.clear();
    return !Tris.empty();
}

int32_t TUVMesh::Insert(int32_t t, TUV p, std::vector<int32_t>& touched)
{
    const int32_t q = static_cast<int32_t>(Points.size());
    Points.push_back(p);
    VertexTri_.resize(Points.size(), t);
    SplitTriangle(t, q, &touched);
    Legalize(&touched);
    return q;
}

int32_t TUVMesh::InsertOnEdge(int32_t t, int k, TUV p, std::vector<int32_t>& touched)
{
    const int32_t q = static_cast<int32_t>(Points.size());
    Points.push_back(p);
    VertexTri_.resize(Points.size(), t);
    SplitEdge(t, k, q, &touched);
    Legalize(&touched);
    return q;
}

}  // namespace voxaro
