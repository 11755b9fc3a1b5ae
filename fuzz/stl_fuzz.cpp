// Fuzzes the STL reader: any bytes must load or fail with a message.
#include <cstdlib>

#include "fuzz_file.h"
#include "mesh_data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::wstring name = voxaro::fuzz::WriteInput(data, size, ".stl");
    voxaro::TMeshData mesh;
    bool ok = mesh.LoadFromFile(name, "");
    // A result always comes with its text, and a model's indices stay in range.
    if (ok ? mesh.InfoText.empty() || !mesh.ErrorMsg.empty() : mesh.ErrorMsg.empty()) std::abort();
    for (int32_t i = 0; ok && i < mesh.IndexCount; ++i)
        if (mesh.Corner(static_cast<size_t>(i)) >= static_cast<uint32_t>(mesh.VertexCount)) std::abort();
    return 0;
}
