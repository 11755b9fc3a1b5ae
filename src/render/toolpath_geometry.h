// Geometry of the toolpath pieces: boxes around printed segments, their long
// edges, arcs as chains of boxes and the thumbnail's flat ribbon tops. Each
// piece goes to a sink as quads (one normal each) and line pairs, so every
// way of sending it to OpenGL gets the very same coordinates.
//
// A sink has two members:
//   void Quad(const TScenePoint& normal, c0, c1, c2, c3);
//   void Lines(const TScenePoint* points, int count);  // count/2 lines
#pragma once

#include <cmath>

#include "GCodeParser.h"
#include "gcode_scene.h"

namespace voxaro {

// Direction and side offset of a box around a-b; false when a-b is (nearly)
// vertical or empty, and then the box draws nothing.
struct TBoxFrame {
    float UX, UZ;   // unit direction in the x-z plane
    TScenePoint P;  // side offset, half width long
};
bool MakeBoxFrame(const TScenePoint& a, const TScenePoint& b, float w, TBoxFrame& f);

// Corner of a box: end point plus sign x side offset, raised or lowered by h.
inline TScenePoint Corner(const TScenePoint& end, const TScenePoint& p, float side, float h)
{
    return {end.X + side * p.X, end.Y + h, end.Z + side * p.Z};
}

// Centre, radius and sweep of an arc move that starts at start.
struct TArc {
    double CX, CY, Radius;
    double StartAngle, Sweep;
    int Pieces;  // 0 when nothing is drawn
};
TArc MakeArc(const TGCodeMove& arc, const TGCodeMove& start);
// Number of boxes an arc is drawn with (0 when it draws none): one per 5
// degrees, at least 4.
int ArcPieceCount(const TGCodeMove& arc, const TGCodeMove& start);
// End points of piece k (1..Pieces) in scene axes.
void ArcPiece(const TArc& a, int k, const TGCodeMove& arc, const TGCodeMove& start, TScenePoint& p0, TScenePoint& p1);

// A flat box of half width w and half height h around the segment a-b
// (scene axes): top, bottom, both sides, start cap, end cap.
template <typename Sink> void DrawSegmentBox(Sink& sink, const TScenePoint& a, const TScenePoint& b, float w, float h)
{
    TBoxFrame f;
    if (!MakeBoxFrame(a, b, w, f)) return;
    const TScenePoint& p = f.P;
    const float ux = f.UX, uz = f.UZ;
    sink.Quad({0, 1, 0}, Corner(a, p, -1, h), Corner(a, p, 1, h), Corner(b, p, 1, h), Corner(b, p, -1, h));
    sink.Quad({0, -1, 0}, Corner(a, p, 1, -h), Corner(a, p, -1, -h), Corner(b, p, -1, -h), Corner(b, p, 1, -h));
    sink.Quad({-uz, 0, ux}, Corner(a, p, 1, -h), Corner(a, p, 1, h), Corner(b, p, 1, h), Corner(b, p, 1, -h));
    sink.Quad({uz, 0, -ux}, Corner(a, p, -1, h), Corner(a, p, -1, -h), Corner(b, p, -1, -h), Corner(b, p, -1, h));
    sink.Quad({-ux, 0, -uz}, Corner(a, p, 1, h), Corner(a, p, -1, h), Corner(a, p, -1, -h), Corner(a, p, 1, -h));
    sink.Quad({ux, 0, uz}, Corner(b, p, -1, h), Corner(b, p, 1, h), Corner(b, p, 1, -h), Corner(b, p, -1, -h));
}

// The four long edges of the same box, as lines.
template <typename Sink> void DrawSegmentEdges(Sink& sink, const TScenePoint& a, const TScenePoint& b, float w, float h)
{
    TBoxFrame f;
    if (!MakeBoxFrame(a, b, w, f)) return;
    const TScenePoint& p = f.P;
    const TScenePoint edges[8] = {Corner(a, p, -1, h),  Corner(b, p, -1, h),  Corner(a, p, 1, h),  Corner(b, p, 1, h),
                                  Corner(a, p, -1, -h), Corner(b, p, -1, -h), Corner(a, p, 1, -h), Corner(b, p, 1, -h)};
    sink.Lines(edges, 8);
}

// An arc move from start (G-code coordinates) as a chain of boxes, each
// running from the start's height to the arc's.
template <typename Sink>
void DrawArcSegments(Sink& sink, const TGCodeMove& arc, const TGCodeMove& start, float w, float h)
{
    const TArc a = MakeArc(arc, start);
    for (int k = 1; k <= a.Pieces; ++k) {
        TScenePoint p0, p1;
        ArcPiece(a, k, arc, start, p0, p1);
        DrawSegmentBox(sink, p0, p1, w, h);
    }
}

// The thumbnail's ribbon: the top face only of a box of half width
// halfWidth from prev's end to m's end, each end raised by h above its own
// height.
template <typename Sink>
void DrawRibbonTop(Sink& sink, const TGCodeMove& prev, const TGCodeMove& m, double halfWidth, double h)
{
    double dx = m.X - prev.X;
    double dz = -(m.Y - prev.Y);
    const double len = std::sqrt(dx * dx + dz * dz);
    if (len > 1e-5) {
        dx /= len;
        dz /= len;
    }
    const double px = -dz * halfWidth;
    const double pz = dx * halfWidth;
    auto at = [](double x, double y, double z) -> TScenePoint {
        return {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
    };
    sink.Quad({0, 1, 0}, at(prev.X - px, prev.Z + h, -prev.Y - pz), at(prev.X + px, prev.Z + h, -prev.Y + pz),
              at(m.X + px, m.Z + h, -m.Y + pz), at(m.X - px, m.Z + h, -m.Y - pz));
}

// A straight line from prev's end to m's end.
template <typename Sink> void DrawChord(Sink& sink, const TGCodeMove& prev, const TGCodeMove& m)
{
    const TScenePoint ends[2] = {MoveEnd(prev), MoveEnd(m)};
    sink.Lines(ends, 2);
}

}  // namespace voxaro
