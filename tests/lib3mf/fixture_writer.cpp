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

bool AddObject(const TLib181& l, THandles& hs, H model, Dword group, const TFixtureObject& o)
{
    H mesh = nullptr;
    if (l.AddMeshObject(model, &mesh) != 0) return false;
    hs.Keep(mesh);
    if (l.SetGeometry(mesh, o.Vertices.data(), static_cast<Dword>(o.Vertices.size()), o.Triangles.data(),
                      static_cast<Dword>(o.Triangles.size())) != 0)
        return false;
    if (!o.TriangleMaterials.empty()) {
        H handler = nullptr;
        if (l.CreatePropertyHandler(mesh, &handler) != 0) return false;
        hs.Keep(handler);
        for (size_t t = 0; t < o.TriangleMaterials.size(); ++t)
            if (o.TriangleMaterials[t] >= 0 &&
                l.SetBaseMaterial(handler, static_cast<Dword>(t), group, static_cast<Dword>(o.TriangleMaterials[t])))
                return false;
    }
    if (o.Material >= 0) {
        H handler = nullptr;
        if (l.CreateDefaultPropertyHandler(mesh, &handler) != 0) return false;
        hs.Keep(handler);
        if (l.DefaultSetBaseMaterial(handler, group, static_cast<Dword>(o.Material)) != 0) return false;
    }
    H item = nullptr;
    if (l.AddBuildItem(model, mesh, nullptr, &item) != 0) return false;
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
    for (const TFixtureObject& o : f.Objects)
        if (!AddObject(l, hs, model, group, o)) return false;
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
