// Writes the STEP test files of tests/data with OpenCASCADE, a real CAD kernel:
//   make_step_fixtures OUT_DIR
// Build and run with tools/step_fixtures/make.sh (needs `tools/setup.sh occt`).
#include <APIHeaderSection_MakeHeader.hxx>
#include <BRepAlgoAPI_Cut.hxx>
#include <BRepAlgoAPI_Fuse.hxx>
#include <BRepBuilderAPI_MakeEdge.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepBuilderAPI_MakePolygon.hxx>
#include <BRepBuilderAPI_MakeWire.hxx>
#include <BRepBuilderAPI_Transform.hxx>
#include <BRepFilletAPI_MakeFillet.hxx>
#include <BRepOffsetAPI_ThruSections.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCone.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepPrimAPI_MakePrism.hxx>
#include <BRepPrimAPI_MakeSphere.hxx>
#include <BRepPrimAPI_MakeTorus.hxx>
#include <BRep_Builder.hxx>
#include <GC_MakeCircle.hxx>
#include <GeomAPI_PointsToBSplineSurface.hxx>
#include <Geom_BSplineSurface.hxx>
#include <Interface_Static.hxx>
#include <Quantity_Color.hxx>
#include <STEPCAFControl_Writer.hxx>
#include <STEPControl_Writer.hxx>
#include <TColgp_Array2OfPnt.hxx>
#include <TCollection_HAsciiString.hxx>
#include <TDocStd_Document.hxx>
#include <TopExp.hxx>
#include <TopExp_Explorer.hxx>
#include <TopTools_ListOfShape.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>
#include <TopoDS_Shell.hxx>
#include <XCAFApp_Application.hxx>
#include <XCAFDoc_ColorTool.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>
#include <gp_Trsf.hxx>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// A straight prism through z over a closed polygon in the z = z0 plane.
TopoDS_Shape Prism(const std::vector<gp_Pnt2d>& outline, double z0, double height)
{
    BRepBuilderAPI_MakePolygon polygon;
    for (const gp_Pnt2d& p : outline)
        polygon.Add(gp_Pnt(p.X(), p.Y(), z0));
    polygon.Close();
    TopoDS_Face face = BRepBuilderAPI_MakeFace(polygon.Wire());
    return BRepPrimAPI_MakePrism(face, gp_Vec(0, 0, height));
}

std::vector<gp_Pnt2d> Rectangle(double x, double y, double w, double h)
{
    return {gp_Pnt2d(x, y), gp_Pnt2d(x + w, y), gp_Pnt2d(x + w, y + h), gp_Pnt2d(x, y + h)};
}

std::vector<gp_Pnt2d> RegularPolygon(double cx, double cy, double r, int n)
{
    std::vector<gp_Pnt2d> points;
    for (int i = 0; i < n; ++i)
        points.emplace_back(cx + r * std::cos(2 * M_PI * i / n), cy + r * std::sin(2 * M_PI * i / n));
    return points;
}

TopoDS_Shape CutAll(const TopoDS_Shape& body, const std::vector<TopoDS_Shape>& holes)
{
    TopTools_ListOfShape arguments, tools;
    arguments.Append(body);
    for (const TopoDS_Shape& h : holes)
        tools.Append(h);
    BRepAlgoAPI_Cut cut;
    cut.SetArguments(arguments);
    cut.SetTools(tools);
    cut.Build();
    return cut.Shape();
}

// The time stamp of a file's header: fixed, so that writing the files again
// changes none of them. The first files kept the time they were made at.
constexpr const char* kFirstStamp = "2026-12-08T13:17:51";
constexpr const char* kCurvedStamp = "2026-12-09T05:00:00";

void SetStamp(const Handle(StepData_StepModel) & model, const char* stamp)
{
    APIHeaderSection_MakeHeader header(model);
    header.SetTimeStamp(new TCollection_HAsciiString(stamp));
}

bool WritePlain(const TopoDS_Shape& shape, const std::string& path, const char* stamp = kCurvedStamp)
{
    STEPControl_Writer writer;
    Interface_Static::SetCVal("write.step.schema", "AP214IS");
    writer.Transfer(shape, STEPControl_AsIs);
    SetStamp(writer.Model(), stamp);
    return writer.Write(path.c_str()) == IFSelect_RetDone;
}

Handle(TDocStd_Document) NewDocument()
{
    Handle(TDocStd_Document) doc;
    XCAFApp_Application::GetApplication()->NewDocument("MDTV-XCAF", doc);
    return doc;
}

bool WriteDocument(const Handle(TDocStd_Document) & doc, const std::string& path, const char* stamp)
{
    STEPCAFControl_Writer writer;
    writer.SetColorMode(true);
    writer.SetNameMode(true);
    if (!writer.Transfer(doc, STEPControl_AsIs)) return false;
    SetStamp(writer.ChangeWriter().Model(), stamp);
    return writer.Write(path.c_str()) == IFSelect_RetDone;
}

// A plate with two rectangular holes and a hexagonal one.
bool PlateWithHoles(const std::string& dir)
{
    TopoDS_Shape plate = BRepPrimAPI_MakeBox(60, 40, 5).Shape();
    TopoDS_Shape result = CutAll(plate, {Prism(Rectangle(8, 8, 12, 8), -1, 7), Prism(Rectangle(8, 24, 12, 8), -1, 7),
                                         Prism(RegularPolygon(42, 20, 9, 6), -1, 7)});
    return WritePlain(result, dir + "/occt_plate_holes.step", kFirstStamp);
}

// An L-shaped prism whose top faces are red and whose front face is green;
// the other faces carry no colour of their own.
bool ColouredFaces(const std::string& dir)
{
    TopoDS_Shape part = Prism(
        {gp_Pnt2d(0, 0), gp_Pnt2d(30, 0), gp_Pnt2d(30, 10), gp_Pnt2d(10, 10), gp_Pnt2d(10, 25), gp_Pnt2d(0, 25)}, 0, 8);
    Handle(TDocStd_Document) doc = NewDocument();
    Handle(XCAFDoc_ShapeTool) shapes = XCAFDoc_DocumentTool::ShapeTool(doc->Main());
    Handle(XCAFDoc_ColorTool) colours = XCAFDoc_DocumentTool::ColorTool(doc->Main());
    TDF_Label label = shapes->AddShape(part, false);
    // sRGB values, written as they are (pure red would be written as a predefined colour).
    const Quantity_Color red(0.8, 0.2, 0.2, Quantity_TOC_sRGB), green(0.2, 0.6, 0.2, Quantity_TOC_sRGB);
    for (TopExp_Explorer e(part, TopAbs_FACE); e.More(); e.Next()) {
        const TopoDS_Face& face = TopoDS::Face(e.Current());
        TopExp_Explorer v(face, TopAbs_VERTEX);
        double minZ = 1e9, maxZ = -1e9, minY = 1e9, maxY = -1e9;
        for (; v.More(); v.Next()) {
            gp_Pnt p = BRep_Tool::Pnt(TopoDS::Vertex(v.Current()));
            minZ = std::min(minZ, p.Z()), maxZ = std::max(maxZ, p.Z());
            minY = std::min(minY, p.Y()), maxY = std::max(maxY, p.Y());
        }
        const bool top = minZ > 7.9, front = maxY < 0.1;
        if (!top && !front) continue;
        TDF_Label sub = shapes->AddSubShape(label, face);
        colours->SetColor(sub, top ? red : green, XCAFDoc_ColorSurf);
    }
    return WriteDocument(doc, dir + "/occt_coloured_faces.step", kFirstStamp);
}

// Two parts placed by an assembly: a block moved by (40, 0, 0) and a
// triangular prism moved by (0, 30, 5).
bool TwoPartAssembly(const std::string& dir)
{
    Handle(TDocStd_Document) doc = NewDocument();
    Handle(XCAFDoc_ShapeTool) shapes = XCAFDoc_DocumentTool::ShapeTool(doc->Main());
    TDF_Label assembly = shapes->NewShape();
    TDF_Label block = shapes->AddShape(BRepPrimAPI_MakeBox(10, 10, 10).Shape(), false);
    TDF_Label wedge = shapes->AddShape(Prism({gp_Pnt2d(0, 0), gp_Pnt2d(20, 0), gp_Pnt2d(0, 8)}, 0, 4), false);
    gp_Trsf moveBlock, moveWedge;
    moveBlock.SetTranslation(gp_Vec(40, 0, 0));
    moveWedge.SetTranslation(gp_Vec(0, 30, 5));
    shapes->AddComponent(assembly, block, TopLoc_Location(moveBlock));
    shapes->AddComponent(assembly, wedge, TopLoc_Location(moveWedge));
    shapes->UpdateAssemblies();
    return WriteDocument(doc, dir + "/occt_two_part_assembly.step", kFirstStamp);
}

// A CAD part of about 1.6 MB for the benchmark: a plate with a grid of
// rectangular and octagonal pockets through it (written a second after the
// first three).
bool PerforatedPlate(const std::string& dir)
{
    TopoDS_Shape plate = BRepPrimAPI_MakeBox(90, 90, 8).Shape();
    std::vector<TopoDS_Shape> holes;
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j) {
            const double x = 5 + i * 10, y = 5 + j * 10;
            holes.push_back((i + j) % 2 ? Prism(Rectangle(x, y, 5, 5), -1, 10)
                                        : Prism(RegularPolygon(x + 2.5, y + 2.5, 3, 8), -1, 10));
        }
    return WritePlain(CutAll(plate, holes), dir + "/occt_perforated_plate.step", "2026-12-08T13:17:52");
}

// ----- Curved faces: each file shows one kind of surface or one way of
// bounding a face, for the comparison with OpenCASCADE's own figures.

bool Primitives(const std::string& dir)
{
    return WritePlain(BRepPrimAPI_MakeCylinder(10, 30).Shape(), dir + "/occt_cylinder.step") &&
           WritePlain(BRepPrimAPI_MakeCone(12, 5, 20).Shape(), dir + "/occt_cone_frustum.step") &&
           WritePlain(BRepPrimAPI_MakeCone(10, 0, 25).Shape(), dir + "/occt_cone_apex.step") &&
           WritePlain(BRepPrimAPI_MakeSphere(15).Shape(), dir + "/occt_sphere.step") &&
           WritePlain(BRepPrimAPI_MakeTorus(20, 6).Shape(), dir + "/occt_torus.step");
}

// A 40 x 30 x 20 box whose four top edges are rounded with radius 4: rolling
// ball blends along the edges and where they meet at the corners.
bool FilletedBox(const std::string& dir)
{
    TopoDS_Shape box = BRepPrimAPI_MakeBox(40, 30, 20).Shape();
    BRepFilletAPI_MakeFillet fillet(box);
    for (TopExp_Explorer e(box, TopAbs_EDGE); e.More(); e.Next()) {
        const TopoDS_Edge& edge = TopoDS::Edge(e.Current());
        TopoDS_Vertex a, b;
        TopExp::Vertices(edge, a, b);
        if (BRep_Tool::Pnt(a).Z() > 19.9 && BRep_Tool::Pnt(b).Z() > 19.9) fillet.Add(4, edge);
    }
    return WritePlain(fillet.Shape(), dir + "/occt_box_filleted_edges.step");
}

// A 40 x 40 x 10 box with a round boss (radius 8, 12 high) fused on top: the
// top face has the boss's circle as its hole.
bool BoxWithBoss(const std::string& dir)
{
    TopoDS_Shape box = BRepPrimAPI_MakeBox(40, 40, 10).Shape();
    TopoDS_Shape boss = BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(20, 20, 10), gp_Dir(0, 0, 1)), 8, 12).Shape();
    return WritePlain(BRepAlgoAPI_Fuse(box, boss).Shape(), dir + "/occt_box_cylinder_boss.step");
}

// An L-bracket 50 wide, legs 40 and 30 long, 6 thick, with a hole of
// radius 4 drilled through the upright leg along y.
bool DrilledBracket(const std::string& dir)
{
    TopoDS_Shape bracket = BRepPrimAPI_MakePrism(
        BRepBuilderAPI_MakeFace(
            BRepBuilderAPI_MakePolygon(gp_Pnt(0, 0, 0), gp_Pnt(0, 40, 0), gp_Pnt(0, 40, 6), gp_Pnt(0, 6, 6), true)
                .Wire()),
        gp_Vec(50, 0, 0));
    // The upright leg: 6 thick along y, 30 high.
    bracket = BRepAlgoAPI_Fuse(bracket, BRepPrimAPI_MakeBox(gp_Pnt(0, 0, 0), 50, 6, 30).Shape()).Shape();
    TopoDS_Shape drill = BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(25, -1, 18), gp_Dir(0, 1, 0)), 4, 8).Shape();
    return WritePlain(CutAll(bracket, {drill}), dir + "/occt_l_bracket_drilled.step");
}

// One planar 40 x 40 face with a round hole of radius 8: the hole's loop is
// a single closed circle edge.
bool SquareFaceWithCircularHole(const std::string& dir)
{
    BRepBuilderAPI_MakeFace face(
        BRepBuilderAPI_MakePolygon(gp_Pnt(0, 0, 0), gp_Pnt(40, 0, 0), gp_Pnt(40, 40, 0), gp_Pnt(0, 40, 0), true)
            .Wire());
    // The hole runs clockwise as seen from the face's normal (+z).
    Handle(Geom_Circle) circle = GC_MakeCircle(gp_Ax2(gp_Pnt(20, 20, 0), gp_Dir(0, 0, -1)), 8).Value();
    face.Add(BRepBuilderAPI_MakeWire(BRepBuilderAPI_MakeEdge(circle).Edge()).Wire());
    return WritePlain(face.Face(), dir + "/occt_square_face_circular_hole.step");
}

// A 200 x 200 x 5 plate drilled with 400 round holes of radius 3 on a 10 mm
// grid: many curved faces and circle loops in one solid.
bool PlateWith400Holes(const std::string& dir)
{
    TopoDS_Shape plate = BRepPrimAPI_MakeBox(200, 200, 5).Shape();
    std::vector<TopoDS_Shape> holes;
    for (int i = 0; i < 20; ++i)
        for (int j = 0; j < 20; ++j)
            holes.push_back(
                BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(5 + 10 * i, 5 + 10 * j, -1), gp_Dir(0, 0, 1)), 3, 7).Shape());
    return WritePlain(CutAll(plate, holes), dir + "/occt_plate_400_holes.step");
}

// A solid lofted from a circle of radius 10 at z = 0 to a 30 x 16 rectangle
// at z = 25: its sides are B-spline surfaces.
bool LoftCircleToRectangle(const std::string& dir)
{
    Handle(Geom_Circle) circle = GC_MakeCircle(gp_Ax2(gp_Pnt(0, 0, 0), gp_Dir(0, 0, 1)), 10).Value();
    BRepOffsetAPI_ThruSections loft(true, false);
    loft.AddWire(BRepBuilderAPI_MakeWire(BRepBuilderAPI_MakeEdge(circle).Edge()).Wire());
    loft.AddWire(
        BRepBuilderAPI_MakePolygon(gp_Pnt(15, 8, 25), gp_Pnt(-15, 8, 25), gp_Pnt(-15, -8, 25), gp_Pnt(15, -8, 25), true)
            .Wire());
    loft.Build();
    return loft.IsDone() && WritePlain(loft.Shape(), dir + "/occt_loft_circle_to_rectangle.step");
}

// A surface model and no solid: one B-spline face, 40 x 30, through a 5 x 4
// grid of points on a wave, in an open shell.
bool BSplineSurfaceModel(const std::string& dir)
{
    TColgp_Array2OfPnt points(1, 5, 1, 4);
    for (int i = 1; i <= 5; ++i)
        for (int j = 1; j <= 4; ++j) {
            const double x = 10.0 * (i - 1), y = 10.0 * (j - 1);
            points.SetValue(i, j, gp_Pnt(x, y, 4 * std::sin(x / 12) * std::cos(y / 15)));
        }
    Handle(Geom_BSplineSurface) surface = GeomAPI_PointsToBSplineSurface(points).Surface();
    TopoDS_Shell shell;
    BRep_Builder builder;
    builder.MakeShell(shell);
    builder.Add(shell, BRepBuilderAPI_MakeFace(surface, 1e-6).Face());
    return WritePlain(shell, dir + "/occt_bspline_surface_model.step");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_step_fixtures OUT_DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    bool ok = PlateWithHoles(dir) && ColouredFaces(dir) && TwoPartAssembly(dir) && PerforatedPlate(dir) &&
              Primitives(dir) && FilletedBox(dir) && BoxWithBoss(dir) && DrilledBracket(dir) &&
              SquareFaceWithCircularHole(dir) && PlateWith400Holes(dir) && LoftCircleToRectangle(dir) &&
              BSplineSurfaceModel(dir);
    return ok ? 0 : 1;
}
