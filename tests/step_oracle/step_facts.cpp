// step_facts FILE.step: reads FILE with our STEP reader and prints the
// figures of the mesh in the STEP oracle's line form (see mesh_facts.h), or
// "error <message>" and exit status 1.
#include <cstdio>
#include <exception>
#include <string>

#include "file_io.h"
#include "mesh_data.h"
#include "mesh_facts.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: step_facts FILE.step\n");
        return 2;
    }
    voxaro::TMeshData mesh;
    std::string error;
    try {
        voxaro::TMeshFacts facts;
        if (!mesh.LoadSTEP(voxaro::Utf8ToWide(argv[1])))
            error = mesh.ErrorMsg.empty() ? "the reader gives no reason" : mesh.ErrorMsg;
        else if (MeasureMesh(mesh, facts, error)) {
            std::printf("%s\n", FactsLine(facts).c_str());
            return 0;
        }
    } catch (const std::exception& e) {
        error = e.what();
    }
    for (char& c : error)
        if (c == '\n' || c == '\r') c = ' ';
    std::printf("error %s\n", error.c_str());
    return 1;
}
