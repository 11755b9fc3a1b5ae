// The figures of a loaded mesh that the STEP oracle gives for the B-rep, in
// the oracle's own line form, so that the two can be compared line by line.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "mesh_data.h"

namespace voxaro {

struct TMeshFacts {
    int32_t Faces = 0;
    double Area = 0;
    double Volume = 0;
    double Box[6] = {0, 0, 0, 0, 0, 0};     // x0 y0 z0 x1 y1 z1
    std::map<std::string, double> Colours;  // "RRGGBB" -> share of the area
};

// Faces are the mesh's ObjectCount; the area is the sum of the triangle
// areas; the volume is signed, each triangle taken as facing the side its
// vertex normals point to; the box is that of the first VertexCount vertices.
// False with a message when an index points past the vertices.
bool MeasureMesh(const TMeshData& mesh, TMeshFacts& facts, std::string& error);

// "faces N area A volume V bbox X0 Y0 Z0 X1 Y1 Z1 colours RRGGBB:F,...".
std::string FactsLine(const TMeshFacts& facts);

}  // namespace voxaro
