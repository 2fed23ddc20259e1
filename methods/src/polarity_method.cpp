// The laboratory's own method behind the method interface: marking.h's embedding, reading and
// score, unchanged.
#include <cmath>

#include "blind_methods.h"
#include "quillfen/image/errors.h"
#include "quillfen/watermark/marking.h"

namespace quillfen::detail {

namespace {

class Polarity final : public CatalogueMethod {
public:
    using CatalogueMethod::CatalogueMethod;

    MethodMarked Embed(const Bitmap& host, const MethodPayload& payload, std::uint32_t seed) const override {
        if (payload.Mark.empty()) throw ArgumentError("the polarity method embeds a mark picture; none was given");
        MarkedHost marked = EmbedIntoHost(host, payload.Mark, seed);
        MethodMarked out;
        out.Picture = std::move(marked.Picture);
        out.Psnr = marked.RegionPsnr;
        out.Key.Polarity = std::move(marked.Key);
        return out;
    }

    MethodReading Detect(const Bitmap& suspect, const MethodKey& key) const override {
        return Read(GrayOf(suspect), key);
    }

    MethodReading DetectGray(std::span<const std::uint8_t> gray, int width, int height,
                             const MethodKey& key) const override {
        return Read(GrayPlane(width, height, std::vector<std::uint8_t>(gray.begin(), gray.end())), key);
    }

private:
    static MethodReading Read(const GrayPlane& suspect, const MethodKey& key) {
        if (!key.Polarity) throw ArgumentError("the key is not a key of the polarity method");
        const MarkReading mark = ReadMark(suspect, *key.Polarity);
        MethodReading reading;
        reading.Score = mark.Score.Value;
        // The binomial spread of a difference of two shares of relations (detection_thresholds.h).
        const double f = static_cast<double>(mark.Score.UntouchedReversed) / mark.Score.Untouched;
        reading.ChanceVariance = f * (1 - f) * (1.0 / mark.Score.Reversed + 1.0 / mark.Score.Untouched);
        reading.Nc = mark.Nc;
        reading.Ber = mark.Ber;
        return reading;
    }
};

}  // namespace

std::unique_ptr<WatermarkMethod> MakePolarity(const MethodSpec& described) { return std::make_unique<Polarity>(described); }

}  // namespace quillfen::detail
