// Marks a picture, reads the verdict back, and registers a rotated copy, with nothing but the
// installed Quillfen headers and libraries: consumer HOST MARK
#include <cstdio>

#include <quillfen/attacks/attack_list.h>
#include <quillfen/io/picture_files.h>
#include <quillfen/watermark/marking.h>
#include <quillfen/watermark/registration.h>

int main(int argc, char** argv) {
    using namespace quillfen;
    if (argc != 3) return std::fprintf(stderr, "usage: consumer HOST MARK\n"), 2;
    try {
        const MarkedPicture marked = EmbedIntoHost(LoadGrayPicture(argv[1]), LoadGrayPicture(argv[2]), 42);
        const Calibration thresholds = DefaultCalibration();
        const Verdict verdict = Judge(ReadMark(marked.Picture, marked.Key).Score, thresholds);
        std::printf("marked (PSNR %.2f dB): %s\n", marked.RegionPsnr, VerdictText(verdict).c_str());

        // Turned by two degrees the blocks leave their grid; registration to the marked picture
        // (the OpenCV module, loaded from beside the libraries) turns the copy back.
        const GrayPlane rotated = ApplyAttackCell(ParseAttackCells("rotate:deg=2").front(), marked.Picture, 1);
        const Registration registered = RegisterAndUndo(rotated, marked.Picture);
        const Verdict found = Judge(ReadMark(registered.Picture, marked.Key).Score, thresholds);
        std::printf("copy rotated by 2 degrees, registered (%.2f degrees found): %s\n", registered.Transform.RotationDegrees,
                    VerdictText(found).c_str());
        return verdict.Present && found.Present ? 0 : 1;
    } catch (const Error& error) {
        std::fprintf(stderr, "consumer: %s\n", error.what());
        return 2;
    }
}
