// Writes the STEP test files of tests/data with OpenCASCADE, a real CAD kernel:
//   make_step_fixtures OUT_DIR
// Build and run with tools/step_fixtures/make.sh (needs `tools/setup.sh occt`).
#include <BRepAlgoAPI_Cut.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepBuilderAPI_MakePolygon.hxx>
#include <BRepBuilderAPI_Transform.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakePrism.hxx>
#include <Interface_Static.hxx>
#include <Quantity_Color.hxx>
#include <STEPCAFControl_Writer.hxx>
#include <STEPControl_Writer.hxx>
#include <TDocStd_Document.hxx>
#include <TopExp_Explorer.hxx>
#include <TopTools_ListOfShape.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>
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

bool WritePlain(const TopoDS_Shape& shape, const std::string& path)
{
    STEPControl_Writer writer;
    Interface_Static::SetCVal("write.step.schema", "AP214IS");
    writer.Transfer(shape, STEPControl_AsIs);
    return writer.Write(path.c_str()) == IFSelect_RetDone;
}

Handle(TDocStd_Document) NewDocument()
{
    Handle(TDocStd_Document) doc;
    XCAFApp_Application::GetApplication()->NewDocument("MDTV-XCAF", doc);
    return doc;
}

bool WriteDocument(const Handle(TDocStd_Document) & doc, const std::string& path)
{
    STEPCAFControl_Writer writer;
    writer.SetColorMode(true);
    writer.SetNameMode(true);
    return writer.Transfer(doc, STEPControl_AsIs) && writer.Write(path.c_str()) == IFSelect_RetDone;
}

// A plate with two rectangular holes and a hexagonal one.
bool PlateWithHoles(const std::string& dir)
{
    TopoDS_Shape plate = BRepPrimAPI_MakeBox(60, 40, 5).Shape();
    TopoDS_Shape result = CutAll(plate, {Prism(Rectangle(8, 8, 12, 8), -1, 7), Prism(Rectangle(8, 24, 12, 8), -1, 7),
                                         Prism(RegularPolygon(42, 20, 9, 6), -1, 7)});
    return WritePlain(result, dir + "/occt_plate_holes.step");
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
    return WriteDocument(doc, dir + "/occt_coloured_faces.step");
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
    return WriteDocument(doc, dir + "/occt_two_part_assembly.step");
}

// A CAD part of about 1.6 MB for the benchmark: a plate with a grid of
// rectangular and octagonal pockets through it.
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
    return WritePlain(CutAll(plate, holes), dir + "/occt_perforated_plate.step");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_step_fixtures OUT_DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    bool ok = PlateWithHoles(dir) && ColouredFaces(dir) && TwoPartAssembly(dir) && PerforatedPlate(dir);
    return ok ? 0 : 1;
}
