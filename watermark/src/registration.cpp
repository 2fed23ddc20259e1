// Finds and loads the registration module on first use (see registration.h). No OpenCV here:
// this file is what keeps OpenCV out of programs until a picture is registered.
#include "quillfen/watermark/registration.h"

#include <algorithm>
#include <cmath>

#include "quillfen/image/detail/loadable_module.h"
#include "quillfen/image/errors.h"

namespace quillfen {

namespace registration {

const Functions& LoadModuleFrom(const std::vector<std::string>& candidates) {
    const ModuleLoad load = LoadModule(candidates, kEntryPoint);
    const Functions* functions = load.Table<Functions>();
    if (functions == nullptr && !load.Loaded.empty())
        throw Error(std::string("registration: the module '") + load.Loaded +
                    "' is not this version's registration module (no " + kEntryPoint + ")");
    if (functions == nullptr)
        throw Error(std::string("registration needs the module ") + kModuleFile + ", which could not be loaded" +
                    load.TriedText());
    return *functions;
}

}  // namespace registration

double RegionFit(const GrayPlane& picture, const GrayPlane& reference) {
    const int side = std::min({256, picture.width(), picture.height(), reference.width(), reference.height()});
    if (side < 32) return 0.0;
    const double count = static_cast<double>(side) * side;
    double sumA = 0, sumB = 0;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            sumA = sumA + reference.at(x, y);
            sumB = sumB + picture.at(x, y);
        }
    const double meanA = sumA / count;
    const double meanB = sumB / count;
    double ab = 0, aa = 0, bb = 0;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const double da = reference.at(x, y) - meanA;
            const double db = picture.at(x, y) - meanB;
            ab = ab + da * db;
            aa = aa + da * da;
            bb = bb + db * db;
        }
    if (aa <= 0 || bb <= 0) return 0.0;
    return ab / std::sqrt(aa * bb);
}

Registration RegisterAndUndo(const GrayPlane& suspect, const GrayPlane& reference) {
    for (const GrayPlane* plane : {&suspect, &reference})
        if (plane->width() < 32 || plane->height() < 32)
            throw ArgumentError("registration needs pictures of at least 32 x 32, not " +
                                std::to_string(plane->width()) + " x " + std::to_string(plane->height()));
    // A failed load throws out of the initialisation, so the next call tries again.
    static const registration::Functions& functions =
        registration::LoadModuleFrom(ModuleCandidates(registration::kModuleFile,
                                                      reinterpret_cast<const void*>(&registration::LoadModuleFrom)));
    return functions.registerAndUndo(suspect, reference);
}

Registration RegisterAndUndo(const GrayView& suspect, const GrayView& reference) {
    return RegisterAndUndo(ToPlane(suspect), ToPlane(reference));
}

}  // namespace quillfen
