// The peer the load benchmarks race: Assimp's importer, no post-processing,
// as a program of its own so that both sides are timed as a user meets them
// (a new process reading the file). Prints the triangle count; exit code 1
// when Assimp cannot read the file.
#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) return 2;
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(argv[1], 0);
    if (!scene) return 1;
    unsigned long long faces = 0;
    for (unsigned i = 0; i < scene->mNumMeshes; ++i)
        faces += scene->mMeshes[i]->mNumFaces;
    std::printf("%llu\n", faces);
    return 0;
}
