// Not a benchmark: draws what attack cells do, for the documentation and for looking at them.
//   render_attacks OUT.png HOST CELL...
// writes one row per cell: the host and a grid (lines every 16 pixels, of the host's size),
// each before and after the cell (seed 1), side by side, with a white gap between them.
#include <cstdio>
#include <string>
#include <vector>

#include "quillfen/attacks/attack_catalogue.h"
#include "quillfen/attacks/attack_list.h"
#include "quillfen/image/errors.h"
#include "quillfen/io/picture_files.h"

namespace {

using quillfen::Bitmap;

// Black lines every 16 pixels on white, a little thicker every 64: bending shows in them.
Bitmap Grid(int width, int height) {
    Bitmap grid(width, height, 255);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool thin = x % 16 == 0 || y % 16 == 0;
            const bool thick = x % 64 <= 1 || y % 64 <= 1;
            if (thin || thick) grid.setGray(x, y, 0);
        }
    return grid;
}

void Place(Bitmap& sheet, const Bitmap& picture, int left, int top) {
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const std::uint8_t* p = picture.row(y) + 3 * x;
            sheet.setBgr(left + x, top + y, p[0], p[1], p[2]);
        }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: render_attacks OUT.png HOST CELL...\n");
        return 2;
    }
    try {
        const Bitmap host = quillfen::LoadPictureFile(argv[2]).bitmap;
        const Bitmap grid = Grid(host.width(), host.height());
        const int gap = 8;
        const int rows = argc - 3;
        Bitmap sheet(4 * host.width() + 3 * gap, rows * host.height() + (rows - 1) * gap, 255);
        for (int r = 0; r < rows; ++r) {
            const quillfen::AttackCell cell = quillfen::ParseAttackCells(argv[3 + r]).at(0);
            const int top = r * (host.height() + gap);
            const Bitmap* sources[] = {&host, &grid};
            for (int k = 0; k < 2; ++k) {
                Place(sheet, *sources[k], 2 * k * (host.width() + gap), top);
                Place(sheet, quillfen::ApplyAttackCell(cell, *sources[k], 1), (2 * k + 1) * (host.width() + gap), top);
            }
        }
        // A sheet of gray pictures is written as an 8-bit gray file, a third of the size.
        bool gray = true;
        for (std::size_t i = 0; gray && i < sheet.bytes().size(); i += 3)
            gray = sheet.bytes()[i] == sheet.bytes()[i + 1] && sheet.bytes()[i] == sheet.bytes()[i + 2];
        quillfen::SavePictureFile(argv[1], sheet, gray);
    } catch (const quillfen::Error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
