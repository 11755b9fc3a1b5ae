#include "lib3mf181.h"

#include <dlfcn.h>

namespace voxaro::test181 {

namespace {

template <typename Fn> bool Bind(void* module, const char* name, Fn& fn)
{
    fn = reinterpret_cast<Fn>(dlsym(module, name));
    return fn != nullptr;
}

bool BindAll(void* m, TLib181& l)
{
    return Bind(m, "lib3mf_getlasterror", l.GetLastError) && Bind(m, "lib3mf_release", l.Release) &&
           Bind(m, "lib3mf_createmodel", l.CreateModel) && Bind(m, "lib3mf_model_queryreader", l.QueryReader) &&
           Bind(m, "lib3mf_reader_readfromfileutf8", l.ReadFromFileUtf8) &&
           Bind(m, "lib3mf_model_getmeshobjects", l.GetMeshObjects) &&
           Bind(m, "lib3mf_resourceiterator_movenext", l.MoveNext) &&
           Bind(m, "lib3mf_resourceiterator_getcurrent", l.GetCurrent) &&
           Bind(m, "lib3mf_meshobject_getvertexcount", l.GetVertexCount) &&
           Bind(m, "lib3mf_meshobject_gettrianglecount", l.GetTriangleCount) &&
           Bind(m, "lib3mf_meshobject_getvertices", l.GetVertices) &&
           Bind(m, "lib3mf_meshobject_gettriangleindices", l.GetTriangleIndices) &&
           Bind(m, "lib3mf_meshobject_createpropertyhandler", l.CreatePropertyHandler) &&
           Bind(m, "lib3mf_propertyhandler_getbasematerialarray", l.GetBaseMaterialArray) &&
           Bind(m, "lib3mf_object_createdefaultpropertyhandler", l.CreateDefaultPropertyHandler) &&
           Bind(m, "lib3mf_defaultpropertyhandler_getbasematerial", l.DefaultGetBaseMaterial) &&
           Bind(m, "lib3mf_model_getbasematerialbyid", l.GetBaseMaterialById) &&
           Bind(m, "lib3mf_basematerial_getdisplaycolor", l.GetDisplayColor) &&
           Bind(m, "lib3mf_model_getresourcebyid", l.GetResourceById) &&
           Bind(m, "lib3mf_resource_getresourceid", l.ResourceGetId) &&
           Bind(m, "lib3mf_propertyhandler_getpropertytype", l.GetPropertyType) &&
           Bind(m, "lib3mf_propertyhandler_getcolorarray", l.GetColorArray) &&
           Bind(m, "lib3mf_defaultpropertyhandler_getpropertytype", l.DefaultGetPropertyType) &&
           Bind(m, "lib3mf_defaultpropertyhandler_getcolor", l.DefaultGetColor) &&
           Bind(m, "lib3mf_model_getbuilditems", l.GetBuildItems) &&
           Bind(m, "lib3mf_builditemiterator_movenext", l.BuildItemMoveNext) &&
           Bind(m, "lib3mf_builditemiterator_getcurrent", l.BuildItemGetCurrent) &&
           Bind(m, "lib3mf_builditem_getobjectresource", l.BuildItemGetObject) &&
           Bind(m, "lib3mf_builditem_getobjecttransform", l.BuildItemGetTransform) &&
           Bind(m, "lib3mf_object_ismeshobject", l.IsMeshObject) &&
           Bind(m, "lib3mf_object_iscomponentsobject", l.IsComponentsObject) &&
           Bind(m, "lib3mf_componentsobject_getcomponentcount", l.GetComponentCount) &&
           Bind(m, "lib3mf_componentsobject_getcomponent", l.GetComponent) &&
           Bind(m, "lib3mf_component_getobjectresource", l.ComponentGetObject) &&
           Bind(m, "lib3mf_component_gettransform", l.ComponentGetTransform) &&
           Bind(m, "lib3mf_model_addcomponentsobject", l.AddComponentsObject) &&
           Bind(m, "lib3mf_componentsobject_addcomponent", l.AddComponent) &&
           Bind(m, "lib3mf_propertyhandler_setsinglecolorrgba", l.SetSingleColorRgba) &&
           Bind(m, "lib3mf_defaultpropertyhandler_setcolorrgba", l.DefaultSetColorRgba) &&
           Bind(m, "lib3mf_model_addmeshobject", l.AddMeshObject) &&
           Bind(m, "lib3mf_meshobject_setgeometry", l.SetGeometry) &&
           Bind(m, "lib3mf_model_addbasematerialgroup", l.AddBaseMaterialGroup) &&
           Bind(m, "lib3mf_basematerial_addmaterialutf8", l.AddMaterialUtf8) &&
           Bind(m, "lib3mf_basematerial_setdisplaycolorrgba", l.SetDisplayColorRgba) &&
           Bind(m, "lib3mf_basematerial_getresourceid", l.GetResourceId) &&
           Bind(m, "lib3mf_propertyhandler_setbasematerial", l.SetBaseMaterial) &&
           Bind(m, "lib3mf_defaultpropertyhandler_setbasematerial", l.DefaultSetBaseMaterial) &&
           Bind(m, "lib3mf_model_addbuilditem", l.AddBuildItem) && Bind(m, "lib3mf_model_querywriter", l.QueryWriter) &&
           Bind(m, "lib3mf_writer_writetofileutf8", l.WriteToFileUtf8);
}

}  // namespace

const TLib181* Lib181()
{
    static const TLib181* lib = [] {
        static TLib181 table{};
        void* module = dlopen("lib3MF.so.1", RTLD_NOW | RTLD_LOCAL);
        return module && BindAll(module, table) ? &table : nullptr;
    }();
    return lib;
}

}  // namespace voxaro::test181
