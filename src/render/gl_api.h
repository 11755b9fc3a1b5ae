// The OpenGL 1.1 entry points the drawing code uses, as a table of function
// pointers filled by name: from opengl32.dll in the plug-in, from OSMesa in
// the native tools and tests. No system GL header is needed anywhere.
#pragma once

#include <cstddef>
#include <cstdint>

#include "calling_convention.h"

namespace voxaro {

using GLenum = unsigned int;
using GLboolean = unsigned char;
using GLbitfield = unsigned int;
using GLint = int;
using GLsizei = int;
using GLuint = unsigned int;
using GLubyte = unsigned char;
using GLfloat = float;
using GLdouble = double;
using GLvoid = void;

namespace gl {
constexpr GLenum POINTS = 0x0000, LINES = 0x0001, LINE_STRIP = 0x0003, TRIANGLES = 0x0004, QUADS = 0x0007;
constexpr GLenum NEVER = 0x0200, LESS = 0x0201, LEQUAL = 0x0203;
constexpr GLenum SRC_ALPHA = 0x0302, ONE_MINUS_SRC_ALPHA = 0x0303;
constexpr GLenum FRONT = 0x0404, BACK = 0x0405, FRONT_AND_BACK = 0x0408;
constexpr GLenum LINE_SMOOTH = 0x0B20, LIGHTING = 0x0B50, LIGHT_MODEL_TWO_SIDE = 0x0B52, LIGHT_MODEL_AMBIENT = 0x0B53,
                 COLOR_MATERIAL = 0x0B57, DEPTH_TEST = 0x0B71, BLEND = 0x0BE2, CULL_FACE = 0x0B44,
                 PERSPECTIVE_CORRECTION_HINT = 0x0C50, PACK_ALIGNMENT = 0x0D05, VIEWPORT = 0x0BA2, SAMPLES = 0x80A9;
constexpr GLenum NICEST = 0x1102;
constexpr GLenum AMBIENT = 0x1200, DIFFUSE = 0x1201, SPECULAR = 0x1202, POSITION = 0x1203;
constexpr GLenum AMBIENT_AND_DIFFUSE = 0x1602;
constexpr GLenum UNSIGNED_BYTE = 0x1401, UNSIGNED_SHORT = 0x1403, UNSIGNED_INT = 0x1405, FLOAT = 0x1406;
constexpr GLenum MODELVIEW = 0x1700, PROJECTION = 0x1701;
constexpr GLenum RGB = 0x1907, RGBA = 0x1908, BGR = 0x80E0;
constexpr GLenum LINE = 0x1B01, FILL = 0x1B02;
constexpr GLenum SMOOTH = 0x1D01;
constexpr GLenum VENDOR = 0x1F00, RENDERER = 0x1F01, VERSION = 0x1F02;
constexpr GLenum LIGHT0 = 0x4000;
constexpr GLenum POLYGON_OFFSET_LINE = 0x2A02, POLYGON_OFFSET_FILL = 0x8037, NORMALIZE = 0x0BA1;
constexpr GLenum VERTEX_ARRAY = 0x8074, NORMAL_ARRAY = 0x8075, COLOR_ARRAY = 0x8076;
constexpr GLenum MULTISAMPLE = 0x809D;
constexpr GLenum COMPILE = 0x1300;
constexpr GLenum OUT_OF_MEMORY = 0x0505;
constexpr GLbitfield DEPTH_BUFFER_BIT = 0x0100, COLOR_BUFFER_BIT = 0x4000;
}  // namespace gl

// clang-format off
// X(return type, name without the gl prefix, parameter list)
#define VOXARO_GL_FUNCTIONS(X)                                                                    \
    X(void, Enable, (GLenum cap))                                                                 \
    X(void, Disable, (GLenum cap))                                                                \
    X(void, DepthFunc, (GLenum func))                                                             \
    X(void, ShadeModel, (GLenum mode))                                                            \
    X(void, LightModelfv, (GLenum pname, const GLfloat* params))                                  \
    X(void, LightModeli, (GLenum pname, GLint param))                                             \
    X(void, Lightfv, (GLenum light, GLenum pname, const GLfloat* params))                         \
    X(void, ColorMaterial, (GLenum face, GLenum mode))                                            \
    X(void, Hint, (GLenum target, GLenum mode))                                                   \
    X(void, ClearColor, (GLfloat r, GLfloat g, GLfloat b, GLfloat a))                             \
    X(void, Clear, (GLbitfield mask))                                                             \
    X(void, Viewport, (GLint x, GLint y, GLsizei w, GLsizei h))                                   \
    X(void, MatrixMode, (GLenum mode))                                                            \
    X(void, LoadIdentity, (void))                                                                 \
    X(void, Frustum, (GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f))    \
    X(void, Translatef, (GLfloat x, GLfloat y, GLfloat z))                                        \
    X(void, Translated, (GLdouble x, GLdouble y, GLdouble z))                                     \
    X(void, Rotatef, (GLfloat angle, GLfloat x, GLfloat y, GLfloat z))                            \
    X(void, MultMatrixd, (const GLdouble* m))                                                     \
    X(void, EnableClientState, (GLenum array))                                                    \
    X(void, DisableClientState, (GLenum array))                                                   \
    X(void, NormalPointer, (GLenum type, GLsizei stride, const GLvoid* ptr))                      \
    X(void, VertexPointer, (GLint size, GLenum type, GLsizei stride, const GLvoid* ptr))          \
    X(void, ColorPointer, (GLint size, GLenum type, GLsizei stride, const GLvoid* ptr))           \
    X(void, DrawElements, (GLenum mode, GLsizei count, GLenum type, const GLvoid* indices))       \
    X(void, DrawArrays, (GLenum mode, GLint first, GLsizei count))                                \
    X(GLuint, GenLists, (GLsizei range))                                                          \
    X(void, NewList, (GLuint list, GLenum mode))                                                  \
    X(void, EndList, (void))                                                                      \
    X(void, CallList, (GLuint list))                                                              \
    X(void, DeleteLists, (GLuint list, GLsizei range))                                            \
    X(void, PolygonMode, (GLenum face, GLenum mode))                                              \
    X(void, PolygonOffset, (GLfloat factor, GLfloat units))                                       \
    X(void, BlendFunc, (GLenum s, GLenum d))                                                      \
    X(void, Color3f, (GLfloat r, GLfloat g, GLfloat b))                                           \
    X(void, Color4f, (GLfloat r, GLfloat g, GLfloat b, GLfloat a))                                \
    X(void, LineWidth, (GLfloat width))                                                           \
    X(void, Begin, (GLenum mode))                                                                 \
    X(void, End, (void))                                                                          \
    X(void, Vertex3f, (GLfloat x, GLfloat y, GLfloat z))                                          \
    X(void, Normal3f, (GLfloat x, GLfloat y, GLfloat z))                                          \
    X(void, Flush, (void))                                                                        \
    X(void, Finish, (void))                                                                       \
    X(void, PixelStorei, (GLenum pname, GLint param))                                             \
    X(void, ReadPixels, (GLint x, GLint y, GLsizei w, GLsizei h, GLenum f, GLenum t, GLvoid* p))  \
    X(void, GetIntegerv, (GLenum pname, GLint* params))                                           \
    X(GLenum, GetError, (void))                                                                   \
    X(const GLubyte*, GetString, (GLenum name))

// clang-format on

struct TGLApi {
#define VOXARO_GL_FIELD(ret, name, params) ret(VOXARO_GLAPI* name) params = nullptr;
    VOXARO_GL_FUNCTIONS(VOXARO_GL_FIELD)
#undef VOXARO_GL_FIELD
};

// Looks up one GL entry point by its full name ("glEnable"); null when absent.
using TGLProcLoader = void* (*)(const char* name, void* context);

// Fills every entry of api through the loader. False (and api partly filled)
// when any entry point is missing.
bool LoadGLApi(TGLApi& api, TGLProcLoader loader, void* context);

}  // namespace voxaro
