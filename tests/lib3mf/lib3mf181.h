// Debian's lib3mf 1.8.1 (lib3MF.so.1), reached by dlopen and resolved by name
// into our own typedefs. Its C interface shares 11 names with lib3mf 2.x but
// not their signatures, so it is never linked and its headers are never
// included here. Used by the 2.x adapter and by the test-fixture writer.
#pragma once

#include <cstdint>

namespace voxaro::test181 {

using Result = int;  // 0: success
using Dword = uint32_t;
using Byte = uint8_t;
using Bool = int;  // 4 bytes in 1.8.1
using H = void*;

struct TLib181 {
    Result (*GetLastError)(H, Dword*, const char**);
    Result (*Release)(H);
    Result (*CreateModel)(H*);
    Result (*QueryReader)(H, const char*, H*);
    Result (*ReadFromFileUtf8)(H, const char*);
    Result (*GetMeshObjects)(H, H*);
    Result (*MoveNext)(H, Bool*);
    Result (*GetCurrent)(H, H*);
    Result (*GetVertexCount)(H, Dword*);
    Result (*GetTriangleCount)(H, Dword*);
    Result (*GetVertices)(H, void*, Dword, Dword*);
    Result (*GetTriangleIndices)(H, void*, Dword, Dword*);
    Result (*CreatePropertyHandler)(H, H*);
    Result (*GetBaseMaterialArray)(H, Dword*, Dword*);
    Result (*CreateDefaultPropertyHandler)(H, H*);
    Result (*DefaultGetBaseMaterial)(H, Dword*, Dword*);
    Result (*GetBaseMaterialById)(H, Dword, H*);
    Result (*GetDisplayColor)(H, Dword, Byte*, Byte*, Byte*, Byte*);
    Result (*GetResourceById)(H, Dword, H*);
    Result (*ResourceGetId)(H, Dword*);
    Result (*GetPropertyType)(H, Dword, int*);
    Result (*GetColorArray)(H, void*);  // three RGBA corners per triangle
    Result (*DefaultGetPropertyType)(H, int*);
    Result (*DefaultGetColor)(H, Dword, Byte*);
    Result (*GetBuildItems)(H, H*);
    Result (*BuildItemMoveNext)(H, Bool*);
    Result (*BuildItemGetCurrent)(H, H*);
    Result (*BuildItemGetObject)(H, H*);
    Result (*BuildItemGetTransform)(H, float*);  // [3][4]: the transpose of the 2.x record
    Result (*IsMeshObject)(H, Bool*);
    Result (*IsComponentsObject)(H, Bool*);
    Result (*GetComponentCount)(H, Dword*);
    Result (*GetComponent)(H, Dword, H*);
    Result (*ComponentGetObject)(H, H*);
    Result (*ComponentGetTransform)(H, float*);
    // Writing (fixtures only).
    Result (*AddMeshObject)(H, H*);
    Result (*SetGeometry)(H, const void*, Dword, const void*, Dword);
    Result (*AddBaseMaterialGroup)(H, H*);
    Result (*AddMaterialUtf8)(H, const char*, Byte, Byte, Byte, Dword*);
    Result (*SetDisplayColorRgba)(H, Dword, Byte, Byte, Byte, Byte);
    Result (*GetResourceId)(H, Dword*);
    Result (*SetBaseMaterial)(H, Dword, Dword, Dword);
    Result (*DefaultSetBaseMaterial)(H, Dword, Dword);
    Result (*AddBuildItem)(H, H, const void*, H*);
    Result (*AddComponentsObject)(H, H*);
    Result (*AddComponent)(H, H, const void*, H*);
    Result (*SetSingleColorRgba)(H, Dword, Byte, Byte, Byte, Byte);
    Result (*DefaultSetColorRgba)(H, Byte, Byte, Byte, Byte);
    Result (*QueryWriter)(H, const char*, H*);
    Result (*WriteToFileUtf8)(H, const char*);
};

// The library, loaded once and kept for the process; null when lib3MF.so.1
// or one of its functions is missing.
const TLib181* Lib181();

}  // namespace voxaro::test181
