// mkpe: writes a PE image made by the PE writer, for fixtures and demo machines.
//   mkpe OUT [--version TEXT] [--size N] [--dll]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "formats/pe_writer.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: mkpe OUT [--version TEXT] [--size N] [--dll]\n");
        return 2;
    }
    pewriter::PeLayout layout;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--version" && i + 1 < argc) {
            layout.fileVersion = argv[++i];
        } else if (arg == "--size" && i + 1 < argc) {
            char* end = nullptr;
            unsigned long size = std::strtoul(argv[++i], &end, 10);
            if (*end != '\0' || size > 0xFFFFFFFFul) {
                std::fprintf(stderr, "mkpe: bad size '%s'\n", argv[i]);
                return 2;
            }
            layout.size = static_cast<uint32_t>(size);
        } else if (arg == "--dll") {
            layout.dll = true;
        } else {
            std::fprintf(stderr, "mkpe: unknown argument '%s'\n", arg.c_str());
            return 2;
        }
    }
    std::string image, error;
    if (!pewriter::BuildPe(layout, &image, &error)) {
        std::fprintf(stderr, "mkpe: %s\n", error.c_str());
        return 1;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(image.data(), static_cast<std::streamsize>(image.size()));
    if (!out.flush()) {
        std::fprintf(stderr, "mkpe: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
