// Fuzzes the STEP reader from bytes to triangles: any input must load or
// fail with a message, and a model's indices stay in range.
#include <cstdlib>

#include "mesh_data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    voxaro::TMeshData mesh;
    const char* text = reinterpret_cast<const char*>(data);
    bool ok = mesh.LoadSTEPFromMemory(text, text + size);
    if (ok ? mesh.InfoText.empty() || !mesh.ErrorMsg.empty() : mesh.ErrorMsg.empty()) std::abort();
    for (int32_t i = 0; ok && i < mesh.IndexCount; ++i)
        if (mesh.Corner(static_cast<size_t>(i)) >= static_cast<uint32_t>(mesh.VertexCount)) std::abort();
    return 0;
}
