// STEP (ISO 10303-21) reader. Until the entity parser lands, STEP files are
// refused with a clear message.
#include "mesh_data.h"

namespace voxaro {

bool TMeshData::LoadSTEP(const std::wstring& /*FileName*/)
{
    ErrorMsg = "STEP: This version of Voxaro cannot read STEP files yet.";
    return false;
}

}  // namespace voxaro
