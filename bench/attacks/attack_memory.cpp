// Not a benchmark of the google-benchmark kind: applies one attack cell once to a synthetic
// picture of a given size, gray (a GrayPlane) or colour (a 24-bit Bitmap), and prints the time
// it took and a digest of the result, so that /usr/bin/time -v can report the cell's peak
// memory:
//   /usr/bin/time -v build/bench/attack_memory 'scale:f=10' 3000 3000 gray
//   /usr/bin/time -v build/bench/attack_memory 'real-jpeg:q=75' 3000 3000 colour
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

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
        std::fprintf(stderr, "usage: attack_memory CELL WIDTH HEIGHT [gray|colour]\n");
        return 2;
    }
    try {
        const quillfen::AttackCell cell = quillfen::ParseAttackCells(argv[1]).at(0);
        const int width = std::atoi(argv[2]);
        const int height = std::atoi(argv[3]);
        const bool colour = argc > 4 && std::string(argv[4]) == "colour";
        const quillfen::GrayPlane picture = Picture(width, height);
        quillfen::Bitmap bitmap;
        if (colour) {
            // The gray picture as green, its mirror image as blue and its negative as red.
            bitmap = quillfen::Bitmap(width, height, 0);
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    bitmap.setBgr(x, y, picture.at(width - 1 - x, y), picture.at(x, y),
                                  static_cast<std::uint8_t>(255 - picture.at(x, y)));
        }
        const auto start = std::chrono::steady_clock::now();
        std::vector<std::uint8_t> out;
        if (colour) {
            quillfen::Bitmap result = quillfen::ApplyAttackCell(cell, bitmap, 1);
            out = std::move(result.bytes());
        } else
            out = quillfen::ApplyAttackCell(cell, picture, 1).ReleasePixels();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::uint64_t h = 0xCBF29CE484222325ULL;
        for (std::uint8_t b : out) h = (h ^ b) * 0x100000001B3ULL;
        std::printf("%s on %d x %d %s: %.3f s, fnv %016llx\n", cell.Name.c_str(), width, height,
                    colour ? "colour" : "gray", seconds, static_cast<unsigned long long>(h));
    } catch (const quillfen::Error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
