// Not a benchmark of the google-benchmark kind: applies one attack cell once to a synthetic
// picture of a given size and prints the time it took and a digest of the result, so that
// /usr/bin/time -v can report the cell's peak memory:
//   /usr/bin/time -v build/bench/attack_memory 'scale:f=10' 3000 3000 gray
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "quillfen/attacks/attack_catalogue.h"
#include "quillfen/attacks/attack_list.h"
#include "quillfen/image/errors.h"

namespace {

// A smooth gradient with a little texture, so that every attack has something to change.
quillfen::GrayPlane Picture(int width, int height) {
    quillfen::GrayPlane p(width, height);
    std::uint32_t state = 12345;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            p.at(x, y) = static_cast<std::uint8_t>((x * 255 / width + y * 127 / height + (state >> 28)) & 255);
        }
    return p;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: attack_memory CELL WIDTH HEIGHT [gray]\n");
        return 2;
    }
    try {
        const quillfen::AttackCell cell = quillfen::ParseAttackCells(argv[1]).at(0);
        const int width = std::atoi(argv[2]);
        const int height = std::atoi(argv[3]);
        const quillfen::GrayPlane picture = Picture(width, height);
        const auto start = std::chrono::steady_clock::now();
        const quillfen::GrayPlane out = quillfen::ApplyAttackCell(cell, picture, 1);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::uint64_t h = 0xCBF29CE484222325ULL;
        for (std::uint8_t b : out.pixels()) h = (h ^ b) * 0x100000001B3ULL;
        std::printf("%s on %d x %d gray: %.3f s, result %d x %d, fnv %016llx\n", cell.Name.c_str(), width, height,
                    seconds, out.width(), out.height(), static_cast<unsigned long long>(h));
    } catch (const quillfen::Error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
