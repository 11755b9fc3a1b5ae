// Helpers for the STEP reader's tests.
#pragma once

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "mesh_data.h"
#include "step_scene.h"

namespace voxaro {

// A STEP file around the given DATA section lines.
inline std::string StepFile(const std::string& data)
{
    return "ISO-10303-21;\nHEADER;\nFILE_SCHEMA(('AUTOMOTIVE_DESIGN'));\nENDSEC;\nDATA;\n" + data +
           "ENDSEC;\nEND-ISO-10303-21;\n";
}

inline void FillBuffer(TStepScene& scene, const std::string& text)
{
    scene.BufferSize = text.size();
    scene.Buffer.reset(new char[text.size() + 1]);
    std::memcpy(scene.Buffer.get(), text.data(), text.size());
}

// Parses text and collects its faces, as a load does before triangulating.
inline void LoadSceneFaces(TStepScene& scene, const std::string& text)
{
    FillBuffer(scene, text);
    ParseStepFile(scene);
    BuildIdIndex(scene);
    InitPointHash(scene);
    SetUpSampling(scene);
    CollectFaces(scene);
}

inline bool LoadStepText(TMeshData& mesh, const std::string& text)
{
    return mesh.LoadSTEPFromMemory(text.data(), text.data() + text.size());
}

// Writes the DATA lines of planar B-rep faces: vertices, edge loops, faces,
// and a solid that holds them. Every instance gets the next identifier.
class TStepWriter {
public:
    // Any instance; returns its identifier.
    int Add(const std::string& typeAndParams)
    {
        Data += "#" + std::to_string(++Last) + "=" + typeAndParams + ";\n";
        return Last;
    }
    static std::string Ref(int id) { return "#" + std::to_string(id); }
    static std::string List(const std::vector<int>& ids)
    {
        std::string s = "(";
        for (size_t i = 0; i < ids.size(); ++i)
            s += (i ? "," : "") + Ref(ids[i]);
        return s + ")";
    }
    int Vertex(double x, double y, double z)
    {
        char point[160];
        std::snprintf(point, sizeof point, "CARTESIAN_POINT('',(%.17g,%.17g,%.17g))", x, y, z);
        return Add("VERTEX_POINT(''," + Ref(Add(point)) + ")");
    }
    // An edge loop through the vertices, each edge running from one to the next.
    int Loop(const std::vector<int>& vertices)
    {
        std::vector<int> edges;
        for (size_t i = 0; i < vertices.size(); ++i) {
            int edge =
                Add("EDGE_CURVE(''," + Ref(vertices[i]) + "," + Ref(vertices[(i + 1) % vertices.size()]) + ",$,.T.)");
            edges.push_back(Add("ORIENTED_EDGE('',*,*," + Ref(edge) + ",.T.)"));
        }
        return Add("EDGE_LOOP(''," + List(edges) + ")");
    }
    int Face(int outerLoop, const std::vector<int>& holeLoops = {})
    {
        std::vector<int> bounds{Add("FACE_OUTER_BOUND(''," + Ref(outerLoop) + ",.T.)")};
        for (int h : holeLoops)
            bounds.push_back(Add("FACE_BOUND(''," + Ref(h) + ",.T.)"));
        return Add("ADVANCED_FACE(''," + List(bounds) + ",$,.T.)");
    }
    // A closed shell of the faces in a solid in an ADVANCED_BREP_SHAPE_REPRESENTATION.
    int Solid(const std::vector<int>& faces)
    {
        int brep = Add("MANIFOLD_SOLID_BREP(''," + Ref(Add("CLOSED_SHELL(''," + List(faces) + ")")) + ")");
        return Add("ADVANCED_BREP_SHAPE_REPRESENTATION(''," + List({brep}) + ",$)");
    }
    // The six faces of an axis-aligned box, each loop counter-clockwise seen from outside.
    std::vector<int> BoxFaces(double x0, double y0, double z0, double x1, double y1, double z1)
    {
        int v[8];
        for (int i = 0; i < 8; ++i)
            v[i] = Vertex(i & 1 ? x1 : x0, i & 2 ? y1 : y0, i & 4 ? z1 : z0);
        const int quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
        std::vector<int> faces;
        for (const auto& q : quads)
            faces.push_back(Face(Loop({v[q[0]], v[q[1]], v[q[2]], v[q[3]]})));
        return faces;
    }
    std::string File() const { return StepFile(Data); }

    std::string Data;
    int Last = 0;
};

}  // namespace voxaro
