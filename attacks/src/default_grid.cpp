#include "quillfen/attacks/default_grid.h"

#include "quillfen/attacks/attack_list.h"

namespace quillfen {

namespace {

// Strengths follow the sources where they give them on a scale we share (JPEG quality,
// degrees, percentages); StirMark's "remove one line in N" becomes the number of the 256 lines
// removed ((256 - 1) / N + 1 for N = 100, 50, 20, 10), and the photometric factors of WAVES
// (on pictures in 0..1) become gray levels.
constexpr AttackFamily kFamilies[] = {
    {"workspace", "none,jpeg,blur,crop-zero-quarter,crop-image-quarter,crop-zero-half,crop-image-half",
     "the watermark workspace's seven attacks"},
    {"workspace jpeg", "jpeg:scale=1,2", "the workspace's quantisation with coarser steps"},
    {"jpeg", "real-jpeg:q=15,20,25,30,35,40,50,60,70,80,90,100", "StirMark Benchmark 4, JPEG 15-100"},
    {"median", "median:k=3,5,7,9", "StirMark Benchmark 4, median filters 3-9"},
    {"gaussian noise", "gauss-noise:sigma=2,5,10,15,25", "WAVES and Stable Signature, Gaussian noise"},
    {"impulse noise", "salt-pepper:p=0.01,0.02,0.05,0.1", "StirMark Benchmark 4 noise, as impulses"},
    {"blur", "blur:passes=2,4,8", "the workspace's blur repeated (it darkens and keeps a one-pixel frame)"},
    {"gaussian blur", "gaussian-blur:sigma=0.5,1,1.5,2,3", "WAVES and Stable Signature, Gaussian blur"},
    {"sharpen", "sharpen:amount=0.5,1,2", "StirMark Benchmark 4, sharpening convolution"},
    {"rotation", "rotate:deg=-2,-1,-0.75,-0.5,-0.25,0.25,0.5,0.75,1,2,5,10,15,30,45,90",
     "StirMark Benchmark 4, rotation +-0.25-90 degrees"},
    {"rescale", "scale:f=0.5,0.75,0.9,1.1,1.5,2", "StirMark Benchmark 4, rescale 50-200 %"},
    {"row removal", "remove-rows:n=3,6,13,26", "StirMark Benchmark 4, one line in 100, 50, 20, 10 removed"},
    {"column removal", "remove-cols:n=3,6,13,26", "StirMark Benchmark 4, one line in 100, 50, 20, 10 removed"},
    {"cropping", "crop:frac=0.01,0.02,0.05,0.1,0.15,0.2,0.25,0.5,0.75", "StirMark Benchmark 4, cropping 1-75 %"},
    {"shift", "shift:dx=1,2,4,shift:dx=2,dy=2", "StirMark Benchmark 4's affine family, translation only"},
    {"brightness", "brightness:d=-64,-32,32,64", "WAVES and Stable Signature, brightness"},
    {"contrast", "contrast:c=0.5,0.75,1.5,2", "WAVES and Stable Signature, contrast"},
    {"gamma", "gamma:g=0.5,0.8,1.25,2", "photometric family of WAVES, gamma"},
    {"equalize", "equalize", "the toolbox's histogram equalisation"},
    {"quantize", "quantize:levels=8,16,32", "gray-level reduction"},
    {"combinations",
     "scale:f=0.9+real-jpeg:q=75,crop:frac=0.25+scale:f=0.75,rotate:deg=2+real-jpeg:q=75,"
     "gauss-noise:sigma=5+real-jpeg:q=75,brightness:d=32+contrast:c=1.5+real-jpeg:q=75",
     "WAVES combined attacks and Stable Signature's resized crop"},
    {"random bending", "random-bending,random-bending:s=0.5,2",
     "StirMark's random bending at its default, half and twice"},
    {"affine", "affine:a=1.01,b=0.013,c=0.009,d=1.011,affine:a=1.007,b=0.01,c=0.01,d=1.012,"
               "affine:a=1.013,b=0.008,c=0.011,d=1.008,affine:b=0.05",
     "StirMark Benchmark 4, its three general linear transforms and a 5 % shear"},
    {"aspect", "aspect:r=0.9,1.1", "StirMark 3.1, change of aspect ratio"},
    {"rotation and crop", "rotate-crop:deg=-2,2,5", "StirMark Benchmark 4, rotation with cropping"},
    {"rotation and scale", "rotate-scale:deg=-2,2,5", "StirMark Benchmark 4, rotation with scaling"},
    {"crop and resize", "crop-resize:frac=0.1,0.25,crop-resize:frac=0.2,x=0.25,y=0.75",
     "Stable Signature's resized crop; sharing a cut picture, centred and off-centre"},
    {"print and scan", "print-scan,print-scan:deg=-1,sigma=1.2,noise=4,g=1.2",
     "print-and-scan model of Lin and Chang, at its defaults and stronger"},
    {"geometry and jpeg",
     "crop-resize:frac=0.1+real-jpeg:q=75,crop-resize:frac=0.2,x=0.25,y=0.75+real-jpeg:q=75,"
     "scale:f=0.5+real-jpeg:q=75,rotate-crop:deg=5+real-jpeg:q=75,aspect:r=0.9+real-jpeg:q=75",
     "what a blind method must find its way back from: a geometric change, then a JPEG file"},
};

}  // namespace

std::span<const AttackFamily> DefaultAttackFamilies() { return kFamilies; }

std::string DefaultAttackList() {
    std::string list;
    for (const AttackFamily& family : kFamilies) {
        if (!list.empty()) list += ',';
        list += family.List;
    }
    return list;
}

std::vector<AttackCell> DefaultAttackGrid() { return ParseAttackCells(DefaultAttackList()); }

}  // namespace quillfen
