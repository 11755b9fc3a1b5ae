#include "fixture_writer.h"

#include <memory>

#include "lib3mf181.h"

namespace voxaro::test181 {

namespace {

// Releases 1.8.1 handles when the writer is done.
struct THandles {
    std::vector<H> List;
    ~THandles()
    {
        for (auto it = List.rbegin(); it != List.rend(); ++it)
            Lib181()->Release(*it);
    }
    H Keep(H h)
    {
        if (h) List.push_back(h);
        return h;
    }
};

// 1.8.1's transform record is [3][4], the transpose of the file's order.
std::array<float, 12> Transform181(const TFixtureTransform& t)
{
    std::array<float, 12> fields{};
    for (int row = 0; row < 4; ++row)
        for (int c = 0; c < 3; ++c)
            fields[4 * c + row] = t[3 * row + c];
    return fields;
}

H AddComponents(const TLib181& l, THandles& hs, H model, const std::vector<H>& objects, const TFixtureObject& o)
{
    H components = nullptr;
    if (l.AddComponentsObject(model, &components) != 0) return nullptr;
    hs.Keep(components);
    for (const TFixturePlacement& c : o.Components) {
        std::array<float, 12> fields = Transform181(c.Transform);
        H component = nullptr;
        if (c.Object < 0 || static_cast<size_t>(c.Object) >= objects.size() ||
            l.AddComponent(components, objects[c.Object], fields.data(), &component) != 0)
            return nullptr;
        hs.Keep(component);
    }
    return components;
}

H AddMesh(const TLib181& l, THandles& hs, H model, Dword group, const TFixtureObject& o)
{
    H mesh = nullptr;
    if (l.AddMeshObject(model, &mesh) != 0) return nullptr;
    hs.Keep(mesh);
    if (l.SetGeometry(mesh, o.Vertices.data(), static_cast<Dword>(o.Vertices.size()), o.Triangles.data(),
                      static_cast<Dword>(o.Triangles.size())) != 0)
        return nullptr;
    if (!o.TriangleMaterials.empty() || !o.TriangleColours.empty()) {
        H handler = nullptr;
        if (l.CreatePropertyHandler(mesh, &handler) != 0) return nullptr;
        hs.Keep(handler);
        for (size_t t = 0; t < o.TriangleMaterials.size(); ++t)
            if (o.TriangleMaterials[t] >= 0 &&
                l.SetBaseMaterial(handler, static_cast<Dword>(t), group, static_cast<Dword>(o.TriangleMaterials[t])))
                return nullptr;
        for (size_t t = 0; t < o.TriangleColours.size(); ++t) {
            const TFixtureMaterial& c = o.TriangleColours[t];
            if (c.A != 0 && l.SetSingleColorRgba(handler, static_cast<Dword>(t), c.R, c.G, c.B, c.A) != 0)
                return nullptr;
        }
    }
    if (o.Material >= 0 || o.HasColour) {
        H handler = nullptr;
        if (l.CreateDefaultPropertyHandler(mesh, &handler) != 0) return nullptr;
        hs.Keep(handler);
        if (o.Material >= 0 && l.DefaultSetBaseMaterial(handler, group, static_cast<Dword>(o.Material)) != 0)
            return nullptr;
        if (o.HasColour && l.DefaultSetColorRgba(handler, o.Colour.R, o.Colour.G, o.Colour.B, o.Colour.A) != 0)
            return nullptr;
    }
    return mesh;
}

bool AddItem(const TLib181& l, THandles& hs, H model, const std::vector<H>& objects, const TFixturePlacement& p)
{
    if (p.Object < 0 || static_cast<size_t>(p.Object) >= objects.size()) return false;
    std::array<float, 12> fields = Transform181(p.Transform);
    H item = nullptr;
    if (l.AddBuildItem(model, objects[p.Object], fields.data(), &item) != 0) return false;
    hs.Keep(item);
    return true;
}

bool WriteModel(const TLib181& l, const TFixture& f, const std::string& path)
{
    THandles hs;
    H model = nullptr;
    if (l.CreateModel(&model) != 0) return false;
    hs.Keep(model);
    Dword group = 0;
    if (!f.Materials.empty()) {
        H materials = nullptr;
        if (l.AddBaseMaterialGroup(model, &materials) != 0) return false;
        hs.Keep(materials);
        for (size_t i = 0; i < f.Materials.size(); ++i) {
            const TFixtureMaterial& m = f.Materials[i];
            Dword index = 0;
            std::string name = "m" + std::to_string(i);
            // addmaterial writes alpha 0; the real alpha is set afterwards.
            if (l.AddMaterialUtf8(materials, name.c_str(), m.R, m.G, m.B, &index) != 0 ||
                l.SetDisplayColorRgba(materials, index, m.R, m.G, m.B, m.A) != 0)
                return false;
        }
        if (l.GetResourceId(materials, &group) != 0) return false;
    }
    std::vector<H> objects;
    for (const TFixtureObject& o : f.Objects) {
        H object = o.Components.empty() ? AddMesh(l, hs, model, group, o) : AddComponents(l, hs, model, objects, o);
        if (!object) return false;
        objects.push_back(object);
    }
    if (f.BuildEveryObject) {
        for (size_t i = 0; i < objects.size(); ++i)
            if (!AddItem(l, hs, model, objects, {static_cast<int>(i)})) return false;
    } else {
        for (const TFixturePlacement& p : f.Items)
            if (!AddItem(l, hs, model, objects, p)) return false;
    }
    H writer = nullptr;
    if (l.QueryWriter(model, "3mf", &writer) != 0) return false;
    hs.Keep(writer);
    return l.WriteToFileUtf8(writer, path.c_str()) == 0;
}

}  // namespace

bool Write3mf(const TFixture& fixture, const std::string& path, std::string& error)
{
    const TLib181* l = Lib181();
    if (!l) {
        error = "lib3MF.so.1 (Debian package lib3mf1) is missing";
        return false;
    }
    if (!WriteModel(*l, fixture, path)) {
        error = "lib3mf 1.8.1 could not write " + path;
        return false;
    }
    return true;
}

}  // namespace voxaro::test181
