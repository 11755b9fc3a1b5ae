// Points, placements and matrices of the STEP reader: the de-duplicating
// point pool and the readers of CARTESIAN_POINT, DIRECTION, VERTEX_POINT,
// EDGE_CURVE ends and AXIS2_PLACEMENT_3D.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "decimal.h"
#include "reader_error.h"
#include "step_scene.h"
#include "text_scan.h"

namespace voxaro {

namespace {

constexpr size_t kFirstBuckets = 4096;

// Nearest 64-bit integer, ties to even. Values beyond the 64-bit range are
// held at its ends and NaN at the lowest value, so a wild coordinate still
// gets a key (it merges only with equally wild ones).
int64_t QuantiseKey(double v)
{
    double x = v * 1e6;
    if (std::isnan(x)) return INT64_MIN;
    if (x >= 9.2233720368547758e18) return INT64_MAX;
    if (x <= -9.2233720368547758e18) return INT64_MIN + 1;
    return static_cast<int64_t>(RoundHalfEven(x));
}

uint32_t Bucket(int64_t kx, int64_t ky, int64_t kz, uint32_t mask)
{
    uint64_t h = static_cast<uint64_t>(kx) * 0x9E3779B185EBCA87ull ^ static_cast<uint64_t>(ky) * 0xC2B2AE3D27D4EB4Full ^
                 static_cast<uint64_t>(kz) * 0x165667B19E3779F9ull;
    h ^= h >> 33;
    return static_cast<uint32_t>(h) & mask;
}

// Doubles the buckets and rehashes the pool, so chains stay short however
// many points a model has. Which point a key finds does not change: each key
// is pooled once.
void GrowBuckets(TStepScene& scene)
{
    scene.HashHead.assign(scene.HashHead.size() * 2, -1);
    scene.HashMask = static_cast<uint32_t>(scene.HashHead.size() - 1);
    for (int32_t i = 0; i < scene.PointCount; ++i) {
        size_t k = static_cast<size_t>(i);
        uint32_t b = Bucket(scene.KeyX[k], scene.KeyY[k], scene.KeyZ[k], scene.HashMask);
        scene.HashNext[k] = scene.HashHead[b];
        scene.HashHead[b] = i;
    }
}

bool GrowPool(TStepScene& scene)
{
    size_t grown = scene.Points.size() < 32 ? 64 : scene.Points.size() * 2;
    return scene.Points.Resize(grown) && scene.HashNext.Resize(grown) && scene.KeyX.Resize(grown) &&
           scene.KeyY.Resize(grown) && scene.KeyZ.Resize(grown);
}

// The coordinate stays finite as the float the mesh keeps: below the
// halfway point between FLT_MAX and 2^128, from which it rounds to infinity.
bool FitsFloat(double v)
{
    constexpr double kOverflow = 0x1.ffffffp+127;  // (2 - 2^-24) * 2^127
    return std::fabs(v) < kOverflow;               // false for NaN too
}

// Bounds cover the points the mesh can hold finite only, as the STL reader's
// do: one wild coordinate (1e300, or 1e39 beyond the float range) must not
// blank the whole model.
void GrowBounds(TStepScene& scene, const TStepVec3& p)
{
    if (!FitsFloat(p.X) || !FitsFloat(p.Y) || !FitsFloat(p.Z)) return;
    if (!scene.HasBounds) {
        scene.BoundsMin = scene.BoundsMax = p;
        scene.HasBounds = true;
        return;
    }
    scene.BoundsMin.X = std::fmin(scene.BoundsMin.X, p.X);
    scene.BoundsMin.Y = std::fmin(scene.BoundsMin.Y, p.Y);
    scene.BoundsMin.Z = std::fmin(scene.BoundsMin.Z, p.Z);
    scene.BoundsMax.X = std::fmax(scene.BoundsMax.X, p.X);
    scene.BoundsMax.Y = std::fmax(scene.BoundsMax.Y, p.Y);
    scene.BoundsMax.Z = std::fmax(scene.BoundsMax.Z, p.Z);
}

void Normalize(TStepVec3& v)
{
    double length = std::sqrt(v.X * v.X + v.Y * v.Y + v.Z * v.Z);
    if (length > 1e-12) {
        v.X /= length;
        v.Y /= length;
        v.Z /= length;
    }
}

}  // namespace

uint8_t StepColorByte(double v)
{
    return static_cast<uint8_t>(std::clamp(RoundHalfEven(v), 0.0, 255.0));
}

void InitPointHash(TStepScene& scene)
{
    scene.HashHead.assign(kFirstBuckets, -1);
    scene.HashMask = static_cast<uint32_t>(kFirstBuckets - 1);
}

int32_t AddPoint(TStepScene& scene, TStepVec3 p)
{
    if (scene.UseXform) p = TransformPoint(scene.Xform, p);
    const int64_t kx = QuantiseKey(p.X), ky = QuantiseKey(p.Y), kz = QuantiseKey(p.Z);
    uint32_t bucket = Bucket(kx, ky, kz, scene.HashMask);
    for (int32_t i = scene.HashHead[bucket]; i >= 0; i = scene.HashNext[static_cast<size_t>(i)]) {
        size_t k = static_cast<size_t>(i);
        if (scene.KeyX[k] == kx && scene.KeyY[k] == ky && scene.KeyZ[k] == kz) return i;
    }
    if (scene.PointCount == INT32_MAX) throw TOutOfMemory();
    if (static_cast<size_t>(scene.PointCount) >= scene.Points.size() && !GrowPool(scene)) throw TOutOfMemory();
    if (static_cast<size_t>(scene.PointCount) >= 2 * scene.HashHead.size()) {
        GrowBuckets(scene);
        bucket = Bucket(kx, ky, kz, scene.HashMask);
    }
    const int32_t index = scene.PointCount++;
    const size_t k = static_cast<size_t>(index);
    scene.Points[k] = p;
    scene.KeyX[k] = kx;
    scene.KeyY[k] = ky;
    scene.KeyZ[k] = kz;
    scene.HashNext[k] = scene.HashHead[bucket];
    scene.HashHead[bucket] = index;
    GrowBounds(scene, p);
    return index;
}

// "(x, y, z)": up to three comma-separated numbers; missing ones stay 0.
bool ReadPoint(const TStepScene& scene, int32_t pos, TStepVec3& v)
{
    v = {0, 0, 0};
    const TStepEntity* e = scene.At(pos);
    if (!e || (e->TypeCode != stCartesianPoint && e->TypeCode != stDirection) || e->ParamCount < 2) return false;
    std::string_view text = scene.Param(*e, 1);
    if (text.size() > 1 && text[0] == '(') text = text.substr(1, text.size() - 2);
    double* out[3] = {&v.X, &v.Y, &v.Z};
    int read = 0;
    size_t start = 0;
    for (size_t i = 0; i < text.size() && read < 3; ++i) {
        if (text[i] != ',') continue;
        *out[read++] = StepStrToFloat(text.substr(start, i - start));
        start = i + 1;
    }
    if (read < 3 && start < text.size()) *out[read] = StepStrToFloat(text.substr(start));
    return true;
}

bool ReadVertexPoint(const TStepScene& scene, int32_t pos, TStepVec3& v)
{
    v = {0, 0, 0};
    const TStepEntity* e = scene.At(pos);
    if (!e || e->TypeCode != stVertexPoint || e->ParamCount < 2) return false;
    return ReadPoint(scene, ResolveParam(scene, *e, 1), v);
}

void ReadEdgeEnds(const TStepScene& scene, int32_t pos, TStepVec3& start, TStepVec3& end, bool& hasStart, bool& hasEnd)
{
    start = end = {0, 0, 0};
    hasStart = hasEnd = false;
    const TStepEntity* e = scene.At(pos);
    if (!e || e->TypeCode != stEdgeCurve) return;
    if (e->ParamCount >= 2) hasStart = ReadVertexPoint(scene, ResolveParam(scene, *e, 1), start);
    if (e->ParamCount >= 3) hasEnd = ReadVertexPoint(scene, ResolveParam(scene, *e, 2), end);
}

// Columns: reference direction, axis x reference direction, axis, location.
// The reference direction is not made perpendicular to the axis.
bool ReadPlacement(const TStepScene& scene, int32_t pos, TStepMatrix m)
{
    MatIdentity(m);
    const TStepEntity* e = scene.At(pos);
    if (!e || e->TypeCode != stAxis2Placement3D || e->ParamCount < 2) return false;
    TStepVec3 location, axis{0, 0, 1}, ref{1, 0, 0}, read;
    if (!ReadPoint(scene, ResolveParam(scene, *e, 1), location)) return false;
    if (e->ParamCount >= 3 && ReadPoint(scene, ResolveParam(scene, *e, 2), read)) axis = read;
    if (e->ParamCount >= 4 && ReadPoint(scene, ResolveParam(scene, *e, 3), read)) ref = read;
    Normalize(axis);
    Normalize(ref);
    const TStepVec3 y{axis.Y * ref.Z - axis.Z * ref.Y, axis.Z * ref.X - axis.X * ref.Z,
                      axis.X * ref.Y - axis.Y * ref.X};
    const double columns[16] = {ref.X,  ref.Y,  ref.Z,  0, y.X,        y.Y,        y.Z,        0,
                                axis.X, axis.Y, axis.Z, 0, location.X, location.Y, location.Z, 1};
    std::memcpy(m, columns, sizeof columns);
    return true;
}

void MatIdentity(TStepMatrix m)
{
    for (int i = 0; i < 16; ++i)
        m[i] = (i % 5 == 0) ? 1.0 : 0.0;
}

// Exact only for orthonormal rotations: the transposed rotation and -R^T t.
void MatInvertRigid(const TStepMatrix m, TStepMatrix out)
{
    double r[16];
    MatIdentity(r);
    for (int row = 0; row < 3; ++row)
        for (int c = 0; c < 3; ++c)
            r[4 * c + row] = m[4 * row + c];
    r[12] = -(m[0] * m[12] + m[1] * m[13] + m[2] * m[14]);
    r[13] = -(m[4] * m[12] + m[5] * m[13] + m[6] * m[14]);
    r[14] = -(m[8] * m[12] + m[9] * m[13] + m[10] * m[14]);
    std::memcpy(out, r, sizeof r);
}

TStepVec3 TransformPoint(const TStepMatrix m, TStepVec3 p)
{
    return {m[0] * p.X + m[4] * p.Y + m[8] * p.Z + m[12], m[1] * p.X + m[5] * p.Y + m[9] * p.Z + m[13],
            m[2] * p.X + m[6] * p.Y + m[10] * p.Z + m[14]};
}

}  // namespace voxaro
