// The STEP reader from text to triangles: faces of the boundary
// representation, their colours, assembly placement, the messages, real CAD
// files and hostile input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "mesh_data.h"
#include "reader_error.h"
#include "step_scene.h"
#include "step_test_util.h"
#include "test_files.h"

namespace voxaro {
namespace {

using TColor = std::tuple<int, int, int>;

std::set<TColor> Colors(const TMeshData& m)
{
    std::set<TColor> out;
    for (int32_t i = 0; i < m.VertexCount; ++i)
        out.insert({m.Vertices[i].R, m.Vertices[i].G, m.Vertices[i].B});
    return out;
}

// Extent of the drawn vertices along x, y and z.
std::array<float, 6> Box(const TMeshData& m)
{
    std::array<float, 6> b{1e30f, 1e30f, 1e30f, -1e30f, -1e30f, -1e30f};
    for (int32_t i = 0; i < m.VertexCount; ++i) {
        const float p[3] = {m.Vertices[i].X, m.Vertices[i].Y, m.Vertices[i].Z};
        for (int k = 0; k < 3; ++k)
            b[k] = std::min(b[k], p[k]), b[3 + k] = std::max(b[3 + k], p[k]);
    }
    return b;
}

TEST(StepReader, CubeOfSixFaces)
{
    TStepWriter w;
    w.Solid(w.BoxFaces(0, 0, 0, 2, 2, 2));
    TStepScene scene;
    LoadSceneFaces(scene, w.File());
    EXPECT_EQ(scene.Faces.size(), 6u);
    EXPECT_EQ(scene.PointCount, 8);  // corners are shared by the faces through the point pool

    TMeshData mesh;
    ASSERT_TRUE(LoadStepText(mesh, w.File())) << mesh.ErrorMsg;
    EXPECT_EQ(mesh.InfoText, "STEP  |  Faces: 6  |  Triangles: 12");
    EXPECT_EQ(mesh.ObjectCount, 6);
    EXPECT_TRUE(mesh.HasMaterial);
    EXPECT_FLOAT_EQ(mesh.CenterX, 1);
    EXPECT_FLOAT_EQ(mesh.Radius, static_cast<float>(2 * 0.5 * std::sqrt(3.0)));
    // Flat shading: each triangle carries its face's unit normal on all three vertices.
    for (int32_t i = 0; i < mesh.VertexCount; i += 3) {
        const TGLVertex& v = mesh.Vertices[i];
        EXPECT_FLOAT_EQ(std::fabs(v.NX) + std::fabs(v.NY) + std::fabs(v.NZ), 1.0f);
        EXPECT_EQ(v.NX, mesh.Vertices[i + 2].NX);
    }
}

TEST(StepReader, LoopsTakeTheVertexWhereEachEdgeIsEntered)
{
    // A triangle written with reversed edges: .F. enters each at its end.
    TStepWriter w;
    int a = w.Vertex(0, 0, 0), b = w.Vertex(1, 0, 0), c = w.Vertex(0, 1, 0);
    int e1 = w.Add("EDGE_CURVE('',#" + std::to_string(b) + ",#" + std::to_string(a) + ",$,.T.)");
    int e2 = w.Add("EDGE_CURVE('',#" + std::to_string(c) + ",#" + std::to_string(b) + ",$,.T.)");
    int e3 = w.Add("EDGE_CURVE('',#" + std::to_string(a) + ",#" + std::to_string(c) + ",$,.T.)");
    std::vector<int> oriented;
    for (int e : {e1, e2, e3})
        oriented.push_back(w.Add("ORIENTED_EDGE('',*,*,#" + std::to_string(e) + ",.F.)"));
    int loop = w.Add("EDGE_LOOP(''," + TStepWriter::List(oriented) + ")");
    w.Add("ADVANCED_FACE('',(#" + std::to_string(w.Add("FACE_BOUND('',#" + std::to_string(loop) + ",.T.)")) +
          "),$,.T.)");
    TStepScene scene;
    LoadSceneFaces(scene, w.File());
    ASSERT_EQ(scene.Faces.size(), 1u);  // a face with only a FACE_BOUND uses it as outer loop
    const auto& outer = scene.Faces[0].Outer;
    ASSERT_EQ(outer.size(), 3u);
    EXPECT_EQ(scene.Points[outer[0]].X, 0);  // the end of the first edge, a
    EXPECT_EQ(scene.Points[outer[1]].X, 1);  // then b
    EXPECT_EQ(scene.Points[outer[2]].Y, 1);  // then c
}

TEST(StepReader, PointsMergeWhenTheyRoundToTheSameMicrometre)
{
    TStepScene scene;
    FillBuffer(scene, "");
    InitPointHash(scene);
    int32_t a = AddPoint(scene, {1, 2, 3});
    EXPECT_EQ(AddPoint(scene, {1 + 4e-7, 2, 3}), a);
    EXPECT_NE(AddPoint(scene, {1 + 2e-6, 2, 3}), a);
    EXPECT_EQ(scene.Points[a].X, 1);  // the first point's coordinates stay
    for (int i = 0; i < 20000; ++i)   // many points: the buckets grow, every point is still found
        AddPoint(scene, {i * 0.001, 0, 0});
    EXPECT_EQ(AddPoint(scene, {12.345, 0, 0}), AddPoint(scene, {12.3450004, 0, 0}));
    EXPECT_EQ(scene.PointCount, 20002);
}

TEST(StepReader, FallsBackWhenNoRepresentationReachesAFace)
{
    TStepWriter loose;  // faces that no shape representation lists
    loose.BoxFaces(0, 0, 0, 1, 1, 1);
    TMeshData mesh;
    ASSERT_TRUE(LoadStepText(mesh, loose.File()));
    EXPECT_EQ(mesh.ObjectCount, 6);

    std::string poly = "#1=CARTESIAN_POINT('',(0.,0.,0.));\n#2=CARTESIAN_POINT('',(1.,0.,0.));\n"
                       "#3=CARTESIAN_POINT('',(0.,1.,0.));\n#4=POLY_LOOP('',(#1,#2,#3));\n";
    ASSERT_TRUE(LoadStepText(mesh, StepFile(poly)));
    EXPECT_EQ(mesh.InfoText, "STEP  |  Faces: 1  |  Triangles: 1");
}

TEST(StepReader, MessagesWhenNothingCanBeDrawn)
{
    TMeshData mesh;
    EXPECT_FALSE(LoadStepText(mesh, ""));
    EXPECT_EQ(mesh.ErrorMsg, "STEP: No entities found.");
    EXPECT_FALSE(LoadStepText(mesh, StepFile("#1=B_SPLINE_SURFACE_WITH_KNOTS('',3,3,());\n")));
    EXPECT_EQ(mesh.ErrorMsg, "STEP: No renderable faces found. (NURBS/B-SPLINE_SURFACE not supported)");
    TStepWriter w;  // three points on a line: the one triangle is degenerate
    w.Face(w.Loop({w.Vertex(0, 0, 0), w.Vertex(1, 0, 0), w.Vertex(2, 0, 0)}));
    EXPECT_FALSE(LoadStepText(mesh, w.File()));
    EXPECT_EQ(mesh.ErrorMsg, "STEP: Triangulation produced no vertices.");

    try {
        mesh.LoadFromFile(test::Wide(test::TempDir() + "/missing.STEP"), "");
        ADD_FAILURE() << "no error raised";
    } catch (const TReaderError& e) {
        EXPECT_STREQ(e.what(), "STEP: Cannot open file (error 2)");
    }
}

// COLOUR_RGB reached through the whole style chain, one face per case.
std::string StyledFace(TStepWriter& w, const std::string& rgb, int target)
{
    int colour = w.Add("COLOUR_RGB(''," + rgb + ")");
    int fill = w.Add("FILL_AREA_STYLE('',(#" +
                     std::to_string(w.Add("FILL_AREA_STYLE_COLOUR('',#" + std::to_string(colour) + ")")) + "))");
    int side = w.Add("SURFACE_SIDE_STYLE('',(#" +
                     std::to_string(w.Add("SURFACE_STYLE_FILL_AREA(#" + std::to_string(fill) + ")")) + "))");
    int usage = w.Add("SURFACE_STYLE_USAGE(.BOTH.,#" + std::to_string(side) + ")");
    int assignment = w.Add("PRESENTATION_STYLE_ASSIGNMENT((#" + std::to_string(usage) + "))");
    return std::to_string(
        w.Add("STYLED_ITEM('color',(#" + std::to_string(assignment) + "),#" + std::to_string(target) + ")"));
}

TEST(StepReader, FaceColoursFromTheirStyles)
{
    TStepWriter w;
    std::vector<int> faces = w.BoxFaces(0, 0, 0, 1, 1, 1);
    int rep = w.Solid(faces);
    StyledFace(w, "0.8,0.2,0.2", faces[0]);
    StyledFace(w, "0.5,0.5,0.5", faces[1]);
    StyledFace(w, "0.,0.,1.", faces[2]);  // two styles for one face: the first in the file wins
    StyledFace(w, "1.,1.,0.", faces[2]);
    StyledFace(w, "0.,1.,0.", rep);  // the representation's colour reaches the faces that have none
    TMeshData mesh;
    ASSERT_TRUE(LoadStepText(mesh, w.File()));
    std::set<TColor> colours = Colors(mesh);
    EXPECT_TRUE(colours.count({204, 51, 51}));
    EXPECT_TRUE(colours.count({128, 128, 128}));  // 127.5 rounds to even
    EXPECT_TRUE(colours.count({0, 0, 255}));
    EXPECT_FALSE(colours.count({255, 255, 0}));
    EXPECT_TRUE(colours.count({0, 255, 0}));
    EXPECT_EQ(colours.size(), 4u);
}

TEST(StepReader, WithoutAnOuterBoundTheLargestLoopIsOuter)
{
    // A 10 x 10 square with a 1 x 1 hole, the hole's bound listed first (as
    // KiCad's exporter writes them).
    TStepWriter w;
    auto square = [&](double x0, double y0, double side, bool ccw) {
        std::vector<int> v{w.Vertex(x0, y0, 0), w.Vertex(x0 + side, y0, 0), w.Vertex(x0 + side, y0 + side, 0),
                           w.Vertex(x0, y0 + side, 0)};
        if (!ccw) std::reverse(v.begin(), v.end());
        return w.Loop(v);
    };
    const int hole = w.Add("FACE_BOUND('',#" + std::to_string(square(4, 4, 1, false)) + ",.T.)");
    const int outer = w.Add("FACE_BOUND('',#" + std::to_string(square(0, 0, 10, true)) + ",.T.)");
    w.Add("ADVANCED_FACE('',(#" + std::to_string(hole) + ",#" + std::to_string(outer) + "),$,.T.)");
    TMeshData mesh;
    ASSERT_TRUE(LoadStepText(mesh, w.File()));
    double area = 0;
    for (int32_t i = 0; i + 2 < mesh.VertexCount; i += 3) {
        const TGLVertex &a = mesh.Vertices[i], &b = mesh.Vertices[i + 1], &c = mesh.Vertices[i + 2];
        area += Length(Cross(TVec3{b.X - a.X, b.Y - a.Y, b.Z - a.Z}, TVec3{c.X - a.X, c.Y - a.Y, c.Z - a.Z})) / 2;
        EXPECT_GT(a.NZ, 0);  // the outside of the outer loop
    }
    EXPECT_NEAR(area, 99, 1e-4);
}

TEST(StepReader, StylesThatOverRideHideOrNameTheirColour)
{
    TStepWriter w;
    std::vector<int> faces = w.BoxFaces(0, 0, 0, 1, 1, 1);
    w.Solid(faces);
    const std::string plain = StyledFace(w, "0.,0.,1.", faces[0]);
    // An over-riding style wins whatever its place in the file.
    std::string text = w.File();
    text.insert(text.find("ENDSEC;\nEND"), "#9000=OVER_RIDING_STYLED_ITEM('',(#9001),#" + std::to_string(faces[0]) +
                                               ",#" + plain +
                                               ");\n#9001=PRESENTATION_STYLE_ASSIGNMENT((#9002));\n"
                                               "#9002=SURFACE_STYLE_USAGE(.BOTH.,#9003);\n"
                                               "#9003=SURFACE_SIDE_STYLE('',(#9004));\n"
                                               "#9004=SURFACE_STYLE_RENDERING(.NORMAL_SHADING.,#9005);\n"
                                               "#9005=DRAUGHTING_PRE_DEFINED_COLOUR('magenta');\n"
                                               "#9006=INVISIBILITY((#" +
                                               std::to_string(faces[1]) + "));\n");
    TMeshData mesh;
    ASSERT_TRUE(LoadStepText(mesh, text));
    EXPECT_TRUE(Colors(mesh).count({255, 0, 255}));
    EXPECT_FALSE(Colors(mesh).count({0, 0, 255}));
    EXPECT_EQ(mesh.InfoText.rfind("STEP  |  Faces: 5  |", 0), 0u) << mesh.InfoText;  // one face hidden
}

TEST(StepReader, FallBackPalette)
{
    const int expected[][4] = {{0, 76, 138, 219},  {1, 85, 147, 215}, {2, 93, 156, 210},
                               {5, 117, 138, 196}, {7, 76, 156, 187}, {9, 93, 174, 219}};
    for (const auto& e : expected) {
        uint8_t r, g, b;
        StepPaletteColor(e[0], r, g, b);
        EXPECT_EQ(TColor(r, g, b), TColor(e[1], e[2], e[3])) << "face " << e[0];
    }
}

TEST(StepReader, AssemblyComponentsArePlaced)
{
    TStepWriter w;
    int part = w.Solid(w.BoxFaces(0, 0, 0, 1, 1, 1));
    auto placement = [&](const char* at) {
        return w.Add("AXIS2_PLACEMENT_3D('',#" + std::to_string(w.Add(std::string("CARTESIAN_POINT('',") + at + ")")) +
                     ",$,$)");
    };
    int from = placement("(0.,0.,0.)"), to = placement("(10.,0.,0.)");
    int xf = w.Add("ITEM_DEFINED_TRANSFORMATION('',''," + TStepWriter::Ref(from) + "," + TStepWriter::Ref(to) + ")");
    int rel = w.Add("(REPRESENTATION_RELATIONSHIP('','',#" + std::to_string(part) + ",#999)" +
                    "REPRESENTATION_RELATIONSHIP_WITH_TRANSFORMATION( #" + std::to_string(xf) + ")" +
                    "SHAPE_REPRESENTATION_RELATIONSHIP())");
    w.Add("CONTEXT_DEPENDENT_SHAPE_REPRESENTATION(#" + std::to_string(rel) + ",$)");
    TMeshData mesh;
    ASSERT_TRUE(LoadStepText(mesh, w.File()));
    EXPECT_EQ(Box(mesh)[0], 10);
    EXPECT_EQ(Box(mesh)[3], 11);
}

// A product whose shape is rep; returns its product definition.
int Product(TStepWriter& w, int rep)
{
    const int pd = w.Add("PRODUCT_DEFINITION('','',$,$)");
    w.Add("SHAPE_DEFINITION_REPRESENTATION(#" +
          std::to_string(w.Add("PRODUCT_DEFINITION_SHAPE('',''," + TStepWriter::Ref(pd) + ")")) + "," +
          TStepWriter::Ref(rep) + ")");
    return pd;
}

int PlacementAt(TStepWriter& w, double x, double y, double z)
{
    char point[96];
    std::snprintf(point, sizeof point, "CARTESIAN_POINT('',(%g,%g,%g))", x, y, z);
    return w.Add("AXIS2_PLACEMENT_3D('',#" + std::to_string(w.Add(point)) + ",$,$)");
}

// The component placed in the assembly at (x, y, z) through an assembly usage.
// `assemblyFirst` lists the assembly as the relationship's first
// representation, with the transformation written the other way round.
void Place(TStepWriter& w, int assemblyPd, int assemblyRep, int partPd, int partRep, double x, double y, double z,
           bool assemblyFirst)
{
    const int origin = PlacementAt(w, 0, 0, 0), at = PlacementAt(w, x, y, z);
    const int xf =
        w.Add("ITEM_DEFINED_TRANSFORMATION(''," + std::string("'',") + TStepWriter::Ref(assemblyFirst ? at : origin) +
              "," + TStepWriter::Ref(assemblyFirst ? origin : at) + ")");
    const int first = assemblyFirst ? assemblyRep : partRep, second = assemblyFirst ? partRep : assemblyRep;
    const int rel = w.Add("(REPRESENTATION_RELATIONSHIP(''," + std::string("'',") + TStepWriter::Ref(first) + "," +
                          TStepWriter::Ref(second) + ")REPRESENTATION_RELATIONSHIP_WITH_TRANSFORMATION(" +
                          TStepWriter::Ref(xf) + ")SHAPE_REPRESENTATION_RELATIONSHIP())");
    const int usage = w.Add("NEXT_ASSEMBLY_USAGE_OCCURRENCE('','',''," + TStepWriter::Ref(assemblyPd) + "," +
                            TStepWriter::Ref(partPd) + ",$)");
    w.Add("CONTEXT_DEPENDENT_SHAPE_REPRESENTATION(" + TStepWriter::Ref(rel) + ",#" +
          std::to_string(w.Add("PRODUCT_DEFINITION_SHAPE(''," + std::string("'',") + TStepWriter::Ref(usage) + ")")) +
          ")");
}

TEST(StepReader, SubAssembliesPlaceEveryUseOfAPart)
{
    TStepWriter w;
    const int part = w.Solid(w.BoxFaces(0, 0, 0, 1, 1, 1));
    const int sub = w.Add("SHAPE_REPRESENTATION('',(#" + std::to_string(PlacementAt(w, 0, 0, 0)) + "),$)");
    const int top = w.Add("SHAPE_REPRESENTATION('',(#" + std::to_string(PlacementAt(w, 0, 0, 0)) + "),$)");
    const int partPd = Product(w, part), subPd = Product(w, sub), topPd = Product(w, top);
    Place(w, subPd, sub, partPd, part, 0, 0, 0, false);        // the part twice in the sub-assembly,
    Place(w, subPd, sub, partPd, part, 10, 0, 0, true);        // the second relationship written the other way
    Place(w, topPd, top, subPd, sub, 0, 100, 0, false);        // and the sub-assembly moved in the top one
    const int cycle = w.Add("SHAPE_REPRESENTATION('',(),$)");  // a loop of two assemblies placing each other
    const int cyclePd = Product(w, cycle);
    Place(w, cyclePd, cycle, topPd, top, 0, 0, 50, false);
    Place(w, topPd, top, cyclePd, cycle, 0, 0, 50, false);
    TMeshData mesh;
    ASSERT_TRUE(LoadStepText(mesh, w.File())) << mesh.ErrorMsg;
    EXPECT_EQ(mesh.ObjectCount % 12, 0);
    EXPECT_EQ(Box(mesh)[0], 0);
    EXPECT_EQ(Box(mesh)[3], 11);
    EXPECT_EQ(Box(mesh)[1], 100);
    EXPECT_EQ(Box(mesh)[4], 101);
}

TEST(StepReader, LengthUnitsOfEachRepresentation)
{
    const std::string units = "#900=(LENGTH_UNIT()NAMED_UNIT(*)SI_UNIT(.MILLI.,.METRE.));\n"
                              "#901=(LENGTH_UNIT()NAMED_UNIT(*)SI_UNIT(.CENTI.,.METRE.));\n"
                              "#902=LENGTH_MEASURE_WITH_UNIT(LENGTH_MEASURE(25.4),#900);\n"
                              "#903=(CONVERSION_BASED_UNIT('INCH',#902)LENGTH_UNIT()NAMED_UNIT(*));\n"
                              "#904=(GEOMETRIC_REPRESENTATION_CONTEXT(3)GLOBAL_UNIT_ASSIGNED_CONTEXT((#901))"
                              "REPRESENTATION_CONTEXT('',''));\n"
                              "#905=(GEOMETRIC_REPRESENTATION_CONTEXT(3)GLOBAL_UNIT_ASSIGNED_CONTEXT((#903))"
                              "REPRESENTATION_CONTEXT('',''));\n";
    // A representation without a context of its own takes the file's first unit.
    for (const auto& [context, size] : {std::pair<std::string, float>{"#904", 10.0f}, {"#905", 25.4f}, {"$", 10.0f}}) {
        TStepWriter w;
        const int rep = w.Solid(w.BoxFaces(0, 0, 0, 1, 1, 1));
        std::string text = w.File();
        const std::string line = "#" + std::to_string(rep) + "=ADVANCED_BREP_SHAPE_REPRESENTATION(";
        const size_t at = text.find(",$)", text.find(line));
        text.replace(at, 3, "," + context + ")");
        text.insert(text.find("ENDSEC;\nEND"), units);
        TMeshData mesh;
        ASSERT_TRUE(LoadStepText(mesh, text)) << mesh.ErrorMsg;
        EXPECT_FLOAT_EQ(Box(mesh)[3], size) << context;
    }
}

TEST(StepReader, RealCadFiles)
{
    struct Case {
        const char* Name;
        const char* Info;
    } cases[] = {
        // A box with a round through hole: six box faces and the hole's wall
        // (its triangle count depends on how finely the wall is drawn).
        {"occt_box_hole_ap203.step", "STEP  |  Faces: 7  |  Triangles: "},
        {"occt_box_hole_ap214.step", "STEP  |  Faces: 7  |  Triangles: "},
        // A plate with two rectangular and one hexagonal hole: 6 + 4 + 4 + 6 faces;
        // top and bottom take 2 + (4 + 2) + (4 + 2) + (6 + 2) triangles each.
        {"occt_plate_holes.step", "STEP  |  Faces: 20  |  Triangles: 80"},
        {"occt_two_part_assembly.step", "STEP  |  Faces: 11  |  Triangles: 20"},
    };
    for (const Case& c : cases) {
        TMeshData mesh;
        ASSERT_TRUE(mesh.LoadFromFile(test::Wide(test::DataFile(c.Name)), "")) << c.Name << ": " << mesh.ErrorMsg;
        if (std::string(c.Info).back() == ' ')
            EXPECT_EQ(mesh.InfoText.rfind(c.Info, 0), 0u) << c.Name << ": " << mesh.InfoText;
        else
            EXPECT_EQ(mesh.InfoText, c.Info) << c.Name;
    }
    TMeshData coloured;  // top faces red, front face green, the rest uncoloured
    ASSERT_TRUE(coloured.LoadFromFile(test::Wide(test::DataFile("occt_coloured_faces.step")), ""));
    EXPECT_TRUE(Colors(coloured).count({204, 51, 51}));
    EXPECT_TRUE(Colors(coloured).count({51, 153, 51}));
    TMeshData assembly;  // a 10 mm block moved to x = 40, a wedge 8 mm deep moved to y = 30
    ASSERT_TRUE(assembly.LoadFromFile(test::Wide(test::DataFile("occt_two_part_assembly.step")), ""));
    EXPECT_EQ(Box(assembly), (std::array<float, 6>{0, 0, 0, 50, 38, 10}));
}

TEST(StepReader, HostileInputGetsAMessageNotAHang)
{
    TMeshData mesh;
    std::string garbage;
    for (int i = 0; i < 100000; ++i)
        garbage += static_cast<char>((i * 7919) % 251);
    EXPECT_FALSE(LoadStepText(mesh, garbage));
    EXPECT_FALSE(LoadStepText(
        mesh, "DATA;\n#1=CLOSED_SHELL('',((((#1);\n#2=ADVANCED_BREP_SHAPE_REPRESENTATION('',(#2,#1),#2);"));
    EXPECT_FALSE(LoadStepText(mesh, StepFile("#1=STYLED_ITEM('',(#1),#1);\n#2=ADVANCED_FACE('',(#2),#2,.T.);\n")));

    // One small face listed a million times by its shell.
    TStepWriter w;
    int face = w.Face(w.Loop({w.Vertex(0, 0, 0), w.Vertex(1, 0, 0), w.Vertex(0, 1, 0)}));
    std::string many = "(";
    for (int i = 0; i < 1000000; ++i)
        many += "#" + std::to_string(face) + ",";
    many.back() = ')';
    int shell = w.Add("CLOSED_SHELL(''," + many + ")");
    w.Add("ADVANCED_BREP_SHAPE_REPRESENTATION('',(#" + std::to_string(shell) + "),$)");
    EXPECT_FALSE(LoadStepText(mesh, w.File()));
    EXPECT_EQ(mesh.ErrorMsg, "STEP: Too much repeated geometry.");
}

TEST(StepReader, CoordinatesBeyondTheFloatRangeStayOutOfTheView)
{
    // One wild corner beside a plain triangle: the view fits the finite points.
    TStepWriter w;
    int a = w.Vertex(0, 0, 0), b = w.Vertex(2, 0, 0);
    w.Face(w.Loop({a, b, w.Vertex(0, 2, 0)}));
    w.Face(w.Loop({a, b, w.Vertex(1e300, 5, 0)}));
    TMeshData mesh;
    ASSERT_TRUE(LoadStepText(mesh, w.File())) << mesh.ErrorMsg;
    EXPECT_EQ(mesh.CenterX, 1.0f);
    EXPECT_EQ(mesh.CenterY, 1.0f);
    EXPECT_FLOAT_EQ(mesh.Radius, static_cast<float>(2 * 0.5 * std::sqrt(3.0)));

    // Near the ends of the float range: a finite centre, the radius held at FLT_MAX.
    TStepWriter wide;
    wide.Face(wide.Loop({wide.Vertex(-3e38, 0, 0), wide.Vertex(3e38, 0, 0), wide.Vertex(0, 3e38, 0)}));
    ASSERT_TRUE(LoadStepText(mesh, wide.File())) << mesh.ErrorMsg;
    EXPECT_EQ(mesh.CenterY, 1.5e38f);
    EXPECT_EQ(mesh.Radius, FLT_MAX);

    // Finite doubles, every one of them past the float range: nothing to show.
    TStepWriter far;
    far.Face(far.Loop({far.Vertex(1e39, 0, 0), far.Vertex(0, 1e39, 0), far.Vertex(0, 0, 1e39)}));
    EXPECT_FALSE(LoadStepText(mesh, far.File()));
    EXPECT_EQ(mesh.ErrorMsg, "STEP: Every triangle has a coordinate beyond the float range (about 3.4e38).");
}

}  // namespace
}  // namespace voxaro

namespace voxaro {
namespace {

// The side of a cylinder (radius 5, height 10) bounded by two circles with
// no seam; the bottom circle and the surface can be replaced by other
// instances, in which #F stands for a placement at the bottom and #1 for a
// point on the bottom circle.
std::string BandFile(const std::string& bottomCurve, const std::string& surface)
{
    TStepWriter w;
    auto frame = [&](double z) {
        return w.Add("AXIS2_PLACEMENT_3D(''," +
                     TStepWriter::Ref(w.Add("CARTESIAN_POINT('',(0.,0.," + std::to_string(z) + "))")) + "," +
                     TStepWriter::Ref(w.Add("DIRECTION('',(0.,0.,1.))")) + "," +
                     TStepWriter::Ref(w.Add("DIRECTION('',(1.,0.,0.))")) + ")");
    };
    std::vector<int> bounds;
    for (double z : {0.0, 10.0}) {
        const int v = w.Vertex(5, 0, z);
        const std::string placed = "#" + std::to_string(frame(z));
        std::string curve = z == 0 && !bottomCurve.empty() ? bottomCurve : "CIRCLE(''," + placed + ",5.)";
        if (curve.find("#F") != std::string::npos) curve.replace(curve.find("#F"), 2, placed);
        const int c = w.Add(curve);
        const int e = w.Add("EDGE_CURVE('',#" + std::to_string(v) + ",#" + std::to_string(v) + ",#" +
                            std::to_string(c) + ",.T.)");
        const int o = w.Add("ORIENTED_EDGE('',*,*,#" + std::to_string(e) + (z == 0 ? ",.T.)" : ",.F.)"));
        bounds.push_back(
            w.Add("FACE_BOUND('',#" + std::to_string(w.Add("EDGE_LOOP('',(#" + std::to_string(o) + "))")) + ",.T.)"));
    }
    const std::string placed = "#" + std::to_string(frame(0));
    std::string surfaceText = surface.empty() ? "CYLINDRICAL_SURFACE('',#F,5.)" : surface;
    if (surfaceText.find("#F") != std::string::npos) surfaceText.replace(surfaceText.find("#F"), 2, placed);
    const int s = w.Add(surfaceText);
    const int f = w.Add("ADVANCED_FACE(''," + TStepWriter::List(bounds) + ",#" + std::to_string(s) + ",.T.)");
    w.Add("ADVANCED_BREP_SHAPE_REPRESENTATION('',(#" +
          std::to_string(w.Add("OPEN_SHELL('',(#" + std::to_string(f) + "))")) + "),$)");
    return w.File();
}

TEST(StepReader, CurvedBandIsDrawnOnItsCylinder)
{
    TMeshData mesh;
    ASSERT_TRUE(LoadStepText(mesh, BandFile("", ""))) << mesh.ErrorMsg;
    double area = 0;
    for (int32_t i = 0; i + 2 < mesh.VertexCount; i += 3) {
        const TGLVertex &a = mesh.Vertices[i], &b = mesh.Vertices[i + 1], &c = mesh.Vertices[i + 2];
        const TVec3 n = Cross(TVec3{b.X - a.X, b.Y - a.Y, b.Z - a.Z}, TVec3{c.X - a.X, c.Y - a.Y, c.Z - a.Z});
        area += Length(n) / 2;
        EXPECT_GT(Dot(n, TVec3{a.NX, a.NY, a.NZ}), 0);  // wound as the normal points
        EXPECT_NEAR(std::hypot(a.NX, a.NY), 1, 1e-5);   // smooth: the cylinder's own normal
    }
    EXPECT_NEAR(area, 2 * kPi * 5 * 10, 0.01 * 2 * kPi * 5 * 10);
}

TEST(StepReader, HostileCurvesAndSurfacesGiveASoundMeshOrAMessage)
{
    const std::string knots = "(4,4),(0.,1.),.UNSPECIFIED.)";
    const char* curves[] = {
        "CIRCLE('',#F,0.)",
        "CIRCLE('',#F,-5.)",
        "CIRCLE('',#F,1.E300)",
        "ELLIPSE('',#F,5.,0.)",
        "B_SPLINE_CURVE_WITH_KNOTS('',0,(#1,#1,#1,#1),.UNSPECIFIED.,.F.,.F.,",
        "B_SPLINE_CURVE_WITH_KNOTS('',100,(#1,#1,#1,#1),.UNSPECIFIED.,.F.,.F.,",
        "B_SPLINE_CURVE_WITH_KNOTS('',3,(#1,#1),.UNSPECIFIED.,.F.,.F.,",
        "( BOUNDED_CURVE() B_SPLINE_CURVE(3,(#1,#1,#1,#1),.UNSPECIFIED.,.F.,.F.) "
        "B_SPLINE_CURVE_WITH_KNOTS((4,4),(0.,1.),"
        ".UNSPECIFIED.) CURVE() RATIONAL_B_SPLINE_CURVE((0.,0.,0.,0.)) )",
    };
    const char* surfaces[] = {
        "CYLINDRICAL_SURFACE('',#F,0.)",
        "CYLINDRICAL_SURFACE('',#F,3.)",
        "TOROIDAL_SURFACE('',#F,1.,5.)",
        "SPHERICAL_SURFACE('',#F,-1.)",
        "CONICAL_SURFACE('',#F,5.,1.E300)",
        "OFFSET_SURFACE('',#9999,1.,.F.)",
        "B_SPLINE_SURFACE_WITH_KNOTS('',3,3,((#1,#1),(#1,#1)),.UNSPECIFIED.,.F.,.F.,.F.,(4,4),(4,4),(0.,1.),(0.,1.),"
        ".UNSPECIFIED.)",
    };
    auto sound = [](const std::string& text) {
        TMeshData mesh;
        if (!LoadStepText(mesh, text)) return mesh.ErrorMsg.rfind("STEP: ", 0) == 0;
        for (int32_t i = 0; i < mesh.VertexCount; ++i)
            if (!std::isfinite(mesh.Vertices[i].X) || !std::isfinite(mesh.Vertices[i].NZ)) return false;
        return mesh.VertexCount > 0 && std::isfinite(mesh.Radius);
    };
    for (std::string c : curves) {
        if (c.back() == ',') c += knots;
        EXPECT_TRUE(sound(BandFile(c, ""))) << c;
    }
    for (const char* s : surfaces)
        EXPECT_TRUE(sound(BandFile("", s))) << s;
}

TEST(StepReader, ReferencesRepeatedAtEveryLevelEndQuickly)
{
    // Each level lists the one instance below it 300 times: 300^4 walks.
    TStepWriter w;
    const int a = w.Vertex(0, 0, 0), b = w.Vertex(1, 0, 0);
    const int edge = w.Add("EDGE_CURVE('',#" + std::to_string(a) + ",#" + std::to_string(b) + ",$,.T.)");
    auto repeat = [](int id) {
        std::string s = "(";
        for (int i = 0; i < 300; ++i)
            s += "#" + std::to_string(id) + (i < 299 ? "," : ")");
        return s;
    };
    const int oriented = w.Add("ORIENTED_EDGE('',*,*,#" + std::to_string(edge) + ",.T.)");
    const int loop = w.Add("EDGE_LOOP(''," + repeat(oriented) + ")");
    const int bound = w.Add("FACE_BOUND('',#" + std::to_string(loop) + ",.T.)");
    const int face = w.Add("ADVANCED_FACE(''," + repeat(bound) + ",$,.T.)");
    const int shell = w.Add("CLOSED_SHELL(''," + repeat(face) + ")");
    w.Add("ADVANCED_BREP_SHAPE_REPRESENTATION(''," + repeat(shell) + ",$)");
    TMeshData mesh;
    EXPECT_FALSE(LoadStepText(mesh, w.File()));
    EXPECT_EQ(mesh.ErrorMsg, "STEP: Too much repeated geometry.");
}

}  // namespace
}  // namespace voxaro
