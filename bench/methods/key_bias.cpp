// Not a benchmark: how many keys of a quantiser read a flat or smooth picture as marked.
//
//   build/bench/key_bias [METHOD] [KEYS]     (default: qim, 2000 keys)
//
// For each seed 1..KEYS it makes the key a 256 x 256 host would get (the key does not depend
// on the host's content) and reads uniform gray pictures (levels 16, 128, 240), a gentle ramp
// and a smooth blob with it; it prints how many keys reach the method's shipped thresholds at
// 1e-3 and 1e-6 on each picture, and the largest score relative to the 1e-3 threshold.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "quillfen/methods/method.h"

using namespace quillfen;

int main(int argc, char** argv) {
    const std::string name = argc > 1 ? argv[1] : "qim";
    const int keys = argc > 2 ? std::stoi(argv[2]) : 2000;
    const std::unique_ptr<WatermarkMethod> method = MakeMethod(ParseMethodSpec(name));
    const auto [at1e3, at1e6] = *method->Thresholds();
    struct Picture {
        std::string Name;
        Bitmap Pixels;
    };
    std::vector<Picture> pictures;
    for (const int level : {16, 128, 240}) {
        Bitmap flat(256, 256);
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) flat.setGray(x, y, static_cast<std::uint8_t>(level));
        pictures.push_back({"gray " + std::to_string(level), flat});
    }
    Bitmap ramp(256, 256), blob(256, 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            ramp.setGray(x, y, static_cast<std::uint8_t>(60 + (x + 2 * y) / 6));
            const double r2 = ((x - 128) * (x - 128) + (y - 100) * (y - 100)) / 4000.0;
            blob.setGray(x, y, static_cast<std::uint8_t>(std::lround(70 + 120 * std::exp(-r2))));
        }
    pictures.push_back({"ramp", ramp});
    pictures.push_back({"blob", blob});
    std::printf("%s: %d keys, thresholds %.6g (1e-3) and %.6g (1e-6)\n", method->Describe().Name().c_str(), keys, at1e3,
                at1e6);
    for (const Picture& picture : pictures) {
        int over1e3 = 0, over1e6 = 0;
        double worst = 0;
        for (int seed = 1; seed <= keys; ++seed) {
            MethodKey key;
            key.Method = method->Name();
            key.Parameters = method->Parameters();
            key.Seed = static_cast<std::uint32_t>(seed);
            key.HostWidth = key.HostHeight = 256;
            key.Payload = PayloadFromSeed(static_cast<std::uint32_t>(seed), method->PayloadBits());
            const double score = method->Detect(ViewOf(picture.Pixels), key).Score;
            over1e3 += score >= at1e3 ? 1 : 0;
            over1e6 += score >= at1e6 ? 1 : 0;
            worst = std::max(worst, std::fabs(score) / at1e3);
        }
        std::printf("%-9s keys at 1e-3: %d of %d, at 1e-6: %d; largest |score| / threshold(1e-3) = %.4f\n",
                    picture.Name.c_str(), over1e3, keys, over1e6, worst);
    }
    return 0;
}
