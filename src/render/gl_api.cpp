#include "gl_api.h"

#include <string>

namespace voxaro {

bool LoadGLApi(TGLApi& api, TGLProcLoader loader, void* context)
{
    bool complete = true;
#define VOXARO_GL_LOAD(ret, name, params)                                                                              \
    api.name = reinterpret_cast<ret(VOXARO_GLAPI*) params>(loader("gl" #name, context));                               \
    complete = complete && api.name != nullptr;
    VOXARO_GL_FUNCTIONS(VOXARO_GL_LOAD)
#undef VOXARO_GL_LOAD
    return complete;
}

}  // namespace voxaro
