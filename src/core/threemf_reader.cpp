// 3MF reader over lib3mf. Until the binding lands, 3MF files (and every other
// name that is neither STL nor STEP) are refused with a clear message.
#include "mesh_data.h"

namespace voxaro {

bool TMeshData::Load3MF(const std::wstring& /*FileName*/, const std::string& /*PluginDir*/)
{
    ErrorMsg = "3MF: This version of Voxaro cannot read 3MF files yet.";
    return false;
}

}  // namespace voxaro
