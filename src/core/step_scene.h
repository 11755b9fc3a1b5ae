// The STEP reader's working data: the entity table parsed from the file's DATA
// sections, the pool of 3-D points, the collected polygon faces, the assembly
// transforms and the colour cache of one load. Used only inside the reader
// (step_*.cpp) and by its tests.
//
// The file's bytes stay in one buffer for the whole load; entities and their
// parameters are spans into it, so the table costs a few bytes per instance
// instead of a string per parameter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "geom/curves.h"
#include "geom/surfaces.h"
#include "geom/vec3.h"
#include "pod_array.h"

namespace voxaro {

class TMeshData;
class TWorkBudget;
struct TGLVertex;

using TStepVec3 = TVec3;

// One stored instance. Simple instances own ParamCount parameters starting at
// FirstParam in TStepScene::Params; a complex instance (TypeCode 22) has no
// parameters and keeps the text inside its outer parentheses (Raw) there.
struct TStepEntity {
    uint64_t Text;  // offset of the instance text in the scene's buffer
    int32_t Id;     // greater than 0
    uint32_t FirstParam;
    uint32_t ParamCount;
    uint8_t TypeCode;
};

// A parameter: offset and length relative to its instance's text.
struct TStepSpan {
    uint32_t Offset, Length;
};

using TStepIntArray = std::vector<int32_t>;
using TStepHoleArray = std::vector<TStepIntArray>;

// A bound of a face drawn on its surface: its corners (point indices) in the
// traversal the face gives it, and the edge (table position) each lies on.
struct TStepLoop {
    TStepIntArray Points, Edges;
    bool Outer = false;
};

struct TStepFace {
    TStepIntArray Outer;  // at least 3 point indices, no two neighbours closer than 1e-8
    TStepHoleArray Holes;
    uint8_t R = 0, G = 0, B = 0;
    bool HasColor = false;
    // Curved faces are drawn on their surface, Outer and Holes being the
    // polygon they fall back to.
    int32_t Surface = -1;  // table position of the surface, -1 for a flat face
    bool SameSense = true;
    int32_t Xform = -1;  // the placement of its points in TStepScene::FaceXforms, -1 for none
    std::vector<TStepLoop> Loops;
    bool CurvedEdges = false;  // a flat face with points along curves: drawn as a plane, not clipped
};

// Column-major 4x4: element (row r, column c) at index 4c + r.
using TStepMatrix = double[16];

// Type codes of the names the reader knows; every other name is 0.
enum TStepType : uint8_t {
    stOther = 0,
    stCartesianPoint = 1,
    stDirection = 2,
    stPolyLoop = 3,
    stEdgeLoop = 4,
    stFaceOuterBound = 5,
    stFaceBound = 6,
    stAdvancedFace = 7,
    stVertexPoint = 8,
    stEdgeCurve = 9,
    stOrientedEdge = 10,
    stCircle = 11,
    stLine = 12,
    stAxis2Placement3D = 13,
    stColourRgb = 14,
    stStyledItem = 15,
    stPresentationStyleAssignment = 16,
    stSurfaceStyleUsage = 17,
    stSurfaceSideStyle = 18,
    stSurfaceStyleFillArea = 19,
    stFillAreaStyle = 20,
    stFillAreaStyleColour = 21,
    stComplex = 22,  // set by the parser, never by name
    stContextDependentShapeRepresentation = 23,
    stAdvancedBrepShapeRepresentation = 24,  // and the other representations made for shapes
    stManifoldSolidBrep = 25,
    stClosedShell = 26,
    stEllipse = 27,
    stBSplineCurveWithKnots = 28,
    stBezierCurve = 29,
    stPolyline = 30,
    stTrimmedCurve = 31,
    stSurfaceCurve = 32,  // SURFACE_CURVE and SEAM_CURVE: their 3-D curve
    stVector = 33,
    stPlane = 34,
    stCylindricalSurface = 35,
    stConicalSurface = 36,
    stSphericalSurface = 37,
    stToroidalSurface = 38,
    stBSplineSurfaceWithKnots = 39,
    stBezierSurface = 40,
    stSurfaceOfRevolution = 41,
    stSurfaceOfLinearExtrusion = 42,
    stOffsetSurface = 43,
    stVertexLoop = 44,
    stFaceSurface = 45,
    stAxis1Placement = 46,
    stOpenShell = 47,
    stShellBasedSurfaceModel = 48,
    stShapeRepresentation = 49,
    stShapeRepresentationRelationship = 50,
    stMappedItem = 51,
    stRepresentationMap = 52,
    stBrepWithVoids = 53,
    stItemDefinedTransformation = 54,
    stNextAssemblyUsageOccurrence = 55,
    stProductDefinitionShape = 56,
    stShapeDefinitionRepresentation = 57,
    stOverRidingStyledItem = 58,
    stDraughtingPreDefinedColour = 59,
    stSurfaceStyleRendering = 60,  // and SURFACE_STYLE_RENDERING_WITH_PROPERTIES
    stInvisibility = 61,
};

// Identifier -> table position. A dense table while identifiers are about as
// many as the instances, an open-addressing hash otherwise, so a file holding
// "#2000000000=..." costs no more than any other one-instance file. When two
// instances share an identifier, the later one is found.
class TStepIdIndex {
public:
    void Build(const TPodArray<TStepEntity>& entities, int32_t count);
    // Table position of the instance, or -1.
    int32_t Find(int32_t id) const;
    // Slots the longest insertion looked at (0 for the dense table); a lookup
    // of a stored identifier looks at no more.
    uint32_t LongestProbe() const { return LongestProbe_; }
    int32_t MaxId = -1;

private:
    uint32_t Slot(int32_t id) const;

    std::vector<int32_t> Dense_;
    std::vector<int32_t> HashIds_, HashPos_;
    uint32_t HashMask_ = 0;
    int HashShift_ = 60;
    uint32_t LongestProbe_ = 0;
};

// Vectors of list items lent out to nested list walks; returned when done.
class TStepListPool {
public:
    std::vector<std::string_view> Take();
    void Give(std::vector<std::string_view>&& list);

private:
    std::vector<std::vector<std::string_view>> Free_;
};

struct TStepScene {
    // The file's bytes; instance texts are compacted in place while parsing.
    std::unique_ptr<char[]> Buffer;
    size_t BufferSize = 0;

    TPodArray<TStepEntity> Entities;
    int32_t EntityCount = 0;
    TPodArray<TStepSpan> Params;
    uint32_t ParamCount = 0;

    // Point pool, shared by all faces, de-duplicated on coordinates rounded to 1e-6.
    TPodArray<TStepVec3> Points;
    int32_t PointCount = 0;
    std::vector<int32_t> HashHead;  // bucket -> first point or -1
    TPodArray<int32_t> HashNext;    // point -> next point in its bucket or -1
    TPodArray<int64_t> KeyX, KeyY, KeyZ;
    uint32_t HashMask = 0;

    std::vector<TStepFace> Faces;

    TStepVec3 BoundsMin{0, 0, 0}, BoundsMax{0, 0, 0};
    TStepVec3 Center{0, 0, 0};
    double Extent = 1;
    bool HasBounds = false;
    bool UseXform = false;
    double Xform[16];

    TStepIdIndex IdIndex;
    // Per table position: -2 not looked up yet, -1 no colour, else R*65536 + G*256 + B.
    // Faces and the style entities of their colour chains are cached here.
    std::vector<int32_t> ColorCache;
    // Styled items (table positions) sorted by the identifier they style,
    // over-riding ones first.
    std::vector<std::pair<int32_t, int32_t>> StyledItems;
    // The colour faces take when they have none of their own: that of the
    // nearest styled shell, solid or representation they lie in (-1: none).
    int32_t InheritedColor = -1;
    std::vector<int32_t> Hidden;  // identifiers an INVISIBILITY names, sorted

    // Every point index collected into a loop counts here; a file whose
    // references repeat geometry beyond this is refused.
    uint64_t CollectedIndices = 0;
    uint64_t CollectedLimit = UINT64_MAX;

    TStepListPool Lists;

    // How finely curves and surfaces are drawn (from the size of the model).
    TSampling Sampling;
    double AngleUnit = 1;  // radians per plane angle unit of the file
    std::vector<TMat4> FaceXforms;
    // Points along each edge, pooled for the placement in force: per table
    // position, the placement generation they were made for, their first
    // entry in EdgePoints and their count.
    struct TEdgeSamples {
        uint32_t Generation = 0;
        uint32_t First = 0, Count = 0;
    };
    std::vector<TEdgeSamples> EdgeCache;
    TPodArray<int32_t> EdgePoints;
    size_t EdgePointCount = 0;
    uint32_t Generation = 1;
    uint64_t CurvePointsCollected = 0;  // points along curves gathered into loops

    TStepScene();
    TStepScene(const TStepScene&) = delete;
    TStepScene& operator=(const TStepScene&) = delete;

    int32_t MaxId() const { return IdIndex.MaxId; }
    std::string_view Param(const TStepEntity& e, uint32_t k) const;
    std::string_view Raw(const TStepEntity& e) const { return Param(e, 0); }
    // Entity at a table position, or null for -1 and other invalid positions.
    const TStepEntity* At(int32_t pos) const;
};

// A list vector borrowed from the scene for one nested list walk.
class TStepList {
public:
    explicit TStepList(TStepScene& scene) : Items(scene.Lists.Take()), Scene_(scene) {}
    ~TStepList() { Scene_.Lists.Give(std::move(Items)); }
    TStepList(const TStepList&) = delete;
    TStepList& operator=(const TStepList&) = delete;
    std::vector<std::string_view> Items;

private:
    TStepScene& Scene_;
};

// The instance has this type code and at least minParams parameters.
inline bool HasType(const TStepEntity* e, uint8_t code, uint32_t minParams)
{
    return e && e->TypeCode == code && e->ParamCount >= minParams;
}

// A colour value 0..255 as a byte: nearest, ties to even, held at the ends.
uint8_t StepColorByte(double v);

// ----- Syntax (step_syntax.cpp) -----

// Parses the DATA sections of a file held in scene.Buffer into the entity
// table, compacting multi-line instance texts in place.
void ParseStepFile(TStepScene& scene);
uint8_t ClassifyStepType(std::string_view upperName);
// The top-level parameters of text, each trimmed (quotes are not recognised).
void SplitParams(std::string_view text, std::vector<std::string_view>& list);
// The identifier of a reference "#n", -1 when text is not one.
int32_t ParseRef(std::string_view text);
// A real number ("," read as "."), 0 when text is not one.
double StepStrToFloat(std::string_view text);
void BuildIdIndex(TStepScene& scene);
int32_t FindEntity(const TStepScene& scene, int32_t id);
// A list parameter without its parentheses, split into items.
void OpenList(std::string_view param, std::vector<std::string_view>& items);
// Table position of the instance that parameter k of e refers to, or -1.
int32_t ResolveParam(const TStepScene& scene, const TStepEntity& e, uint32_t k);

// ----- Topology and geometry (step_geometry.cpp, step_topology.cpp) -----

void InitPointHash(TStepScene& scene);
int32_t AddPoint(TStepScene& scene, TStepVec3 p);
bool ReadPoint(const TStepScene& scene, int32_t pos, TStepVec3& v);
bool ReadVertexPoint(const TStepScene& scene, int32_t pos, TStepVec3& v);
void ReadEdgeEnds(const TStepScene& scene, int32_t pos, TStepVec3& start, TStepVec3& end, bool& hasStart, bool& hasEnd);
bool ReadPlacement(const TStepScene& scene, int32_t pos, TStepMatrix m);
void MatIdentity(TStepMatrix m);
void MatInvertRigid(const TStepMatrix m, TStepMatrix out);
TStepVec3 TransformPoint(const TStepMatrix m, TStepVec3 p);

void AddFace(TStepScene& scene, const TStepIntArray& loop, bool hasColor, uint8_t r, uint8_t g, uint8_t b);
void AddFaceWithHoles(TStepScene& scene, const TStepIntArray& loop, TStepHoleArray&& holes, bool hasColor, uint8_t r,
                      uint8_t g, uint8_t b);
void AddPolyLoopFace(TStepScene& scene, int32_t pos);
bool BuildEdgeLoop(TStepScene& scene, int32_t pos, TStepIntArray& loop, TStepIntArray* edges = nullptr);
void AddAdvancedFace(TStepScene& scene, int32_t pos);
void AddClosedShell(TStepScene& scene, int32_t pos);
void AddShapeRep(TStepScene& scene, int32_t pos);

// ----- Curves and surfaces (step_curves.cpp, step_surfaces.cpp) -----

// The text inside the parentheses after `name` in a complex instance's raw
// text; a null view when the part is missing.
std::string_view ComplexPart(std::string_view raw, std::string_view name);
// Parameters first .. first + count - 1 of e (as many as it has).
std::vector<std::string_view> ParamRange(const TStepScene& scene, const TStepEntity& e, uint32_t first, uint32_t count);
bool ReadNumberList(std::string_view list, std::vector<double>& out, size_t cap);
bool ReadIntList(std::string_view list, std::vector<int>& out, size_t cap);
// A list of references to CARTESIAN_POINTs; false when one is not a point or
// the list is longer than cap.
bool ReadPointList(const TStepScene& scene, std::string_view list, std::vector<TVec3>& out, size_t cap);
// An AXIS2_PLACEMENT_3D as an orthonormal frame.
bool ReadFrame(const TStepScene& scene, int32_t pos, TFrame& f);
// A curve entity (through SURFACE_CURVE, SEAM_CURVE and TRIMMED_CURVE to the
// curve they are made of); false for kinds the reader does not draw.
bool ReadStepCurve(const TStepScene& scene, int32_t pos, TCurve& out);
bool ReadStepSurface(const TStepScene& scene, int32_t pos, TSurface& out, int depth = 0);
// Whether faces on the surface at pos are drawn flat (planes, and surfaces
// the reader does not know).
bool IsPlaneOrUnknown(const TStepScene& scene, int32_t pos);
// Sampling and angle unit of the file: chords within 0.1% of the diagonal of
// the model's vertices.
void SetUpSampling(TStepScene& scene);
// The points strictly inside EDGE_CURVE pos along its curve, from its start
// vertex to its end vertex; none for straight edges and curves the reader
// does not draw.
void SampleEdge(const TStepScene& scene, int32_t pos, std::vector<TVec3>& out);
std::pair<uint32_t, uint32_t> EdgeSamples(TStepScene& scene, int32_t pos);

// ----- Units (step_units.cpp) -----

// Millimetres per length unit of the representation context at pos; 0 when
// it names none (or one of 0, NaN or no finite size).
double ContextLengthUnit(const TStepScene& scene, int32_t contextPos);
// The length unit of the first context that names one, 1 when none does.
double FileLengthUnit(const TStepScene& scene);

// ----- Colours (step_styles.cpp) -----

// Sets the colour faces inherit while it lives, when there is one.
class TInheritedColor {
public:
    TInheritedColor(TStepScene& scene, int32_t color) : Scene_(scene), Saved_(scene.InheritedColor)
    {
        if (color >= 0) scene.InheritedColor = color;
    }
    ~TInheritedColor() { Scene_.InheritedColor = Saved_; }
    TInheritedColor(const TInheritedColor&) = delete;
    TInheritedColor& operator=(const TInheritedColor&) = delete;

private:
    TStepScene& Scene_;
    int32_t Saved_;
};

bool GetFaceColor(TStepScene& scene, int32_t faceId, uint8_t& r, uint8_t& g, uint8_t& b);
// The colour styled items give the instance with this identifier,
// R * 65536 + G * 256 + B, or -1.
int32_t ItemColor(TStepScene& scene, int32_t id);
// Whether an INVISIBILITY hides the instance with this identifier.
bool IsHidden(TStepScene& scene, int32_t id);

// ----- The load (step_reader.cpp) -----

// Faces of every representation, each placed as often as the product
// structure places it; failing that, every ADVANCED_FACE, then every POLY_LOOP.
void CollectFaces(TStepScene& scene);
// The walk of the product structure (step_structure.cpp): every placed
// representation's shapes collected, in millimetres.
void CollectPlacedShapes(TStepScene& scene, double fileUnit);
// Parses the file held in scene.Buffer and fills mesh: false with
// mesh.ErrorMsg set when the file holds nothing to draw.
bool LoadStepScene(TStepScene& scene, TMeshData& mesh);

// ----- Triangulation (step_triangulate.cpp) -----

// Fall-back colour of the face at position i in the face list.
void StepPaletteColor(int32_t i, uint8_t& r, uint8_t& g, uint8_t& b);
// Fills mesh with the faces' triangles. workLimit bounds the steps spent on
// bridging and ear clipping over the whole load; beyond it a TReaderError is
// raised.
void TriangulateFaces(const TStepScene& scene, TMeshData& mesh, uint64_t workLimit);
// A curved face drawn on its surface, three vertex records per triangle
// appended to out; false (out as it was) when it cannot be (the caller then
// draws its polygon).
bool MeshCurvedFace(const TStepScene& scene, const TStepFace& face, const uint8_t rgb[3], TWorkBudget& work,
                    std::vector<TGLVertex>& out);
// A flat face meshed in its plane (through the Newell normal of its outer
// loop) by the same triangulation: for faces with curved edges or too many
// holes for the clipper. False when it cannot be.
bool MeshFlatFace(const TStepScene& scene, const TStepFace& face, const uint8_t rgb[3], TWorkBudget& work,
                  std::vector<TGLVertex>& out);
// Newell normal of a loop, unit length, (0, 0, 1) when degenerate.
TStepVec3 NewellNormal(const TStepScene& scene, const TStepIntArray& loop);
// The Newell vector of a loop: twice its area along its normal.
TStepVec3 NewellArea(const TStepScene& scene, const TStepIntArray& loop);
// A flat face's outside: the Newell normal of its largest loop.
TStepVec3 FaceNormal(const TStepScene& scene, const TStepFace& face);

}  // namespace voxaro
