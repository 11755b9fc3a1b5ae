#include "mesh_facts.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace voxaro {

namespace {

struct TPoint {
    double X, Y, Z;
};

TPoint Sub(const TPoint& a, const TPoint& b)
{
    return {a.X - b.X, a.Y - b.Y, a.Z - b.Z};
}

TPoint Cross(const TPoint& a, const TPoint& b)
{
    return {a.Y * b.Z - a.Z * b.Y, a.Z * b.X - a.X * b.Z, a.X * b.Y - a.Y * b.X};
}

double Dot(const TPoint& a, const TPoint& b)
{
    return a.X * b.X + a.Y * b.Y + a.Z * b.Z;
}

std::string Hex(const TGLVertex& v)
{
    char s[8];
    std::snprintf(s, sizeof s, "%02X%02X%02X", v.R, v.G, v.B);
    return s;
}

}  // namespace

bool MeasureMesh(const TMeshData& mesh, TMeshFacts& facts, std::string& error)
{
    facts = TMeshFacts();
    facts.Faces = mesh.ObjectCount;
    const size_t vertexCount = std::min(static_cast<size_t>(std::max(mesh.VertexCount, 0)), mesh.Vertices.size());
    const size_t indexCount = std::min(static_cast<size_t>(std::max(mesh.IndexCount, 0)),
                                       mesh.Indices.empty() ? SIZE_MAX : mesh.Indices.size());
    if (vertexCount == 0) return true;

    double* box = facts.Box;
    box[0] = box[1] = box[2] = INFINITY;
    box[3] = box[4] = box[5] = -INFINITY;
    for (size_t i = 0; i < vertexCount; ++i) {
        const TGLVertex& v = mesh.Vertices[i];
        const double p[3] = {v.X, v.Y, v.Z};
        for (int k = 0; k < 3; ++k)
            box[k] = std::min(box[k], p[k]), box[k + 3] = std::max(box[k + 3], p[k]);
    }
    // Volumes are summed about the box centre: the same sum for a closed
    // mesh, with less cancellation far from the origin.
    const TPoint centre = {(box[0] + box[3]) / 2, (box[1] + box[4]) / 2, (box[2] + box[5]) / 2};

    std::map<std::string, double> byColour;
    for (size_t t = 0; t + 2 < indexCount; t += 3) {
        const TGLVertex* corner[3];
        for (int k = 0; k < 3; ++k) {
            const uint32_t index = mesh.Corner(t + k);
            if (index >= vertexCount) {
                error = "index " + std::to_string(index) + " of triangle " + std::to_string(t / 3) + " past " +
                        std::to_string(vertexCount) + " vertices";
                return false;
            }
            corner[k] = &mesh.Vertices[index];
        }
        TPoint p[3];
        TPoint normals = {0, 0, 0};
        for (int k = 0; k < 3; ++k) {
            p[k] = Sub({corner[k]->X, corner[k]->Y, corner[k]->Z}, centre);
            normals = {normals.X + corner[k]->NX, normals.Y + corner[k]->NY, normals.Z + corner[k]->NZ};
        }
        const TPoint n = Cross(Sub(p[1], p[0]), Sub(p[2], p[0]));
        const double area = std::sqrt(Dot(n, n)) / 2;
        const double facing = Dot(n, normals) < 0 ? -1.0 : 1.0;
        facts.Area += area;
        facts.Volume += facing * Dot(p[0], Cross(p[1], p[2])) / 6;
        for (int k = 0; k < 3; ++k)
            byColour[Hex(*corner[k])] += area / 3;
    }
    for (const auto& [colour, area] : byColour)
        facts.Colours[colour] = facts.Area > 0 ? area / facts.Area : 0.0;
    return true;
}

std::string FactsLine(const TMeshFacts& facts)
{
    char head[512];
    const double* b = facts.Box;
    std::snprintf(head, sizeof head, "faces %d area %.9g volume %.9g bbox %.9g %.9g %.9g %.9g %.9g %.9g colours ",
                  facts.Faces, facts.Area, facts.Volume, b[0], b[1], b[2], b[3], b[4], b[5]);
    std::string line = head;
    if (facts.Colours.empty()) return line + "-";
    bool first = true;
    for (const auto& [colour, share] : facts.Colours) {
        char item[32];
        std::snprintf(item, sizeof item, "%s%s:%.4f", first ? "" : ",", colour.c_str(), share);
        line += item;
        first = false;
    }
    return line;
}

}  // namespace voxaro
