// Writes the starting corpus of fuzz_zip: small archives covering the format's features.
#include <cstdio>
#include <string>

#include "support/zip_builder.h"

using torv::test::rawDeflate;
using torv::test::ZipBuilder;

namespace {

std::string text(size_t size) {
    std::string out;
    for (int i = 0; out.size() < size; ++i) {
        out += "room " + std::to_string(i) + " wall" + std::to_string(i % 7) + ".ogf\n";
    }
    out.resize(size);
    return out;
}

std::string bytes(size_t size) {
    std::string out(size, '\0');
    uint32_t x = 12345;
    for (char& c : out) {
        x = x * 1103515245u + 12345u;
        c = char(x >> 16);
    }
    return out;
}

bool write(const std::string& folder, const std::string& name, const ZipBuilder& b) {
    const std::string data = b.build();
    FILE* f = std::fopen((folder + "/" + name).c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    const bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s SEED_FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    bool ok = true;

    ZipBuilder mixed;
    mixed.add("mission.mn3", bytes(3000), 0);
    mixed.add("level1.d3l", text(5000));
    mixed.add("readme.txt", "Fly safe.\n");
    mixed.add("empty/", "", 0);
    ok &= write(folder, "mixed.zip", mixed);

    ZipBuilder described;
    described.add("a.txt", text(2000)).dataDescriptor = true;
    described.add("b.bin", bytes(1500), 0).dataDescriptor = true;
    described.comment = "mission pack";
    ok &= write(folder, "descriptors.zip", described);

    ZipBuilder odd;
    odd.add(std::string("nul\0name", 8), "x", 0);
    odd.add("method12.bz2", "data", 12);
    odd.add("extra.txt", text(800)).localExtra = std::string(20, 'e');
    odd.entries.back().extra = std::string("UT\x05\x00\x01\x00\x00\x00\x00", 9);
    odd.add("stored-blocks", bytes(1200)).payload = rawDeflate(bytes(1200), 0);
    ok &= write(folder, "odd.zip", odd);

    ZipBuilder exact;
    exact.add("k3072", bytes(3072), 0);
    exact.add("d3072", text(3072));
    exact.add("zero", "", 8);
    ok &= write(folder, "chunks.zip", exact);

    ok &= write(folder, "empty.zip", ZipBuilder());

    // Streams that end oddly: no final block, declared sizes on both sides of the data.
    ZipBuilder ends;
    ends.add("open-end", bytes(1000)).payload =
        std::string("\x00\xE8\x03\x17\xFC", 5) + bytes(1000);
    ends.add("k2048", text(2048)).uncompressedSize = 1024;
    ends.add("long", text(4000)).uncompressedSize = 5000;
    ends.add("big", text(20000));
    ok &= write(folder, "ends.zip", ends);

    ZipBuilder prefixed;
    prefixed.prefix = "#!/bin/sh\nexit 0\n";
    prefixed.add("x.txt", text(300));
    ok &= write(folder, "prefixed.zip", prefixed);
    return ok ? 0 : 1;
}
