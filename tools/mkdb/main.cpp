// mkdb OUTDIR: writes OUTDIR/DB/Template.mdb (the empty database the new-database wizard
// copies) and OUTDIR/Example/ (Cards.mdb and its pictures). Run by the build.
#include <Magick++.h>

#include <cstdio>
#include <exception>
#include <filesystem>

#include "ExampleCards.h"
#include "jet/Database.h"

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    if (argc != 2) {
        std::fprintf(stderr, "usage: mkdb OUTDIR\n");
        return 2;
    }
    try {
        Magick::InitializeMagick(argv[0]);
        const fs::path out = argv[1];
        fs::create_directories(out / "DB");
        const fs::path templ = out / "DB" / "Template.mdb";
        fs::remove(templ);  // new databases are never written over a file
        jet::Database::create(templ);
        tessor::tools::ExampleCards::write(out / "Example");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mkdb: %s\n", e.what());
        return 1;
    }
    return 0;
}
