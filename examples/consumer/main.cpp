// Marks a picture, reads the verdict back, and registers a rotated copy, with nothing but the
// installed Quillfen headers and libraries: consumer HOST MARK
#include <cstdio>

#include <quillfen/attacks/attack_list.h>
#include <quillfen/io/picture_files.h>
#include <quillfen/watermark/marking.h>
#include <quillfen/watermark/registration.h>

// The library returns the verdict as values; the words are the caller's.
static void PrintVerdict(const char* what, const quillfen::Verdict& verdict) {
    std::printf("%s: %s (score %.4f, threshold %.4f at a false-alarm rate of %g)\n", what,
                verdict.Present ? "mark present" : "no mark found", verdict.Score, verdict.Threshold,
                verdict.FalseAlarmRate);
}

int main(int argc, char** argv) {
    using namespace quillfen;
    if (argc != 3) return std::fprintf(stderr, "usage: consumer HOST MARK\n"), 2;
    try {
        const MarkedPicture marked = EmbedIntoHost(LoadGrayPicture(argv[1]), LoadGrayPicture(argv[2]), 42);
        const Calibration thresholds = DefaultCalibration();
        const Verdict verdict = Judge(ReadMark(marked.Picture, marked.Key).Score.Value, thresholds);
        std::printf("marked (PSNR %.2f dB)\n", marked.RegionPsnr);
        PrintVerdict("the marked picture", verdict);

        // Turned by two degrees the blocks leave their grid; registration to the marked picture
        // (the OpenCV module, loaded from beside the libraries) turns the copy back.
        const GrayPlane rotated = ApplyAttackCell(ParseAttackCells("rotate:deg=2").front(), marked.Picture, 1);
        const Registration registered = RegisterAndUndo(rotated, marked.Picture);
        const Verdict found = Judge(ReadMark(registered.Picture, marked.Key).Score.Value, thresholds);
        std::printf("copy rotated by 2 degrees, registered (%.2f degrees found)\n", registered.Transform.RotationDegrees);
        PrintVerdict("the registered copy", found);
        return verdict.Present && found.Present ? 0 : 1;
    } catch (const Error& error) {
        std::fprintf(stderr, "consumer: %s\n", error.what());
        return 2;
    }
}
