// Marks a picture, reads the verdict back, and registers a rotated copy, with nothing but the
// installed Quillfen headers and library: consumer HOST MARK
#include <cstdio>

#include <quillfen/attacks/attack_list.h>
#include <quillfen/image/errors.h>
#include <quillfen/io/picture_files.h>
#include <quillfen/methods/extraction.h>
#include <quillfen/methods/method.h>

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
        const auto method = MakeMethod("polarity");
        const Bitmap host = LoadPictureFile(argv[1]).bitmap;
        MethodPayload payload;
        payload.Mark = LoadPictureFile(argv[2]).bitmap;
        const MethodMarked marked = method->Embed(ViewOf(host), payload, 42);
        const Extraction read = Extract(*method, marked.Key, ViewOf(marked.Picture));
        std::printf("marked (PSNR %.2f dB)\n", marked.Psnr);
        PrintVerdict("the marked picture", read.Judged);

        // Turned by two degrees the blocks leave their grid; registration to the host (the
        // OpenCV module, loaded from beside the library) turns the copy back.
        const Bitmap rotated = ApplyAttackCell(ParseAttackCells("rotate:deg=2").front(), marked.Picture, 1);
        const ImageView reference = ViewOf(host);
        ExtractOptions options;
        options.Host = &reference;
        const Extraction found = Extract(*method, marked.Key, ViewOf(rotated), options);
        std::printf("copy rotated by 2 degrees, registered (%.2f degrees found)\n",
                    found.Registered ? found.Registered->Transform.RotationDegrees : 0.0);
        PrintVerdict("the registered copy", found.Judged);
        return read.Judged.Present && found.Judged.Present ? 0 : 1;
    } catch (const Error& error) {
        std::fprintf(stderr, "consumer: %s\n", error.what());
        return 2;
    }
}
