// Payloads through the error-correcting code as the methods carry them (keys, readings, the
// verdict and its JSON), and the polarity method's divisor found for a target PSNR.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "payload_code.h"
#include "quillfen/attacks/attack_list.h"
#include "quillfen/image/errors.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/methods/extraction.h"
#include "quillfen/methods/method.h"
#include "quillfen/watermark/marking.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

Bitmap Host(const std::string& name) { return LoadPictureFile(test::SamplePath("hosts/" + name + ".pgm")).bitmap; }

std::unique_ptr<WatermarkMethod> Method(const std::string& text) { return MakeMethod(ParseMethodSpec(text)); }

// The marked gray picture after an attack of the catalogue.
Bitmap Attacked(const Bitmap& marked, const std::string& cell) {
    const std::vector<std::uint8_t> bytes = GrayOf(marked).pixels();
    const std::vector<double> reals(bytes.begin(), bytes.end());
    const std::vector<std::uint8_t> out = ApplyAttackCell(ParseAttackCells(cell).front(), {bytes, bytes, reals}, 1).Bytes;
    return Bitmap::fromGray(marked.width(), marked.height(), out.data());
}

int Wrong(const std::vector<std::uint8_t>& read, const std::vector<std::uint8_t>& carried) {
    int wrong = 0;
    for (std::size_t b = 0; b < read.size(); ++b) wrong += read[b] != carried[b] ? 1 : 0;
    return wrong;
}

TEST(CodedPayloads, TheKeyHoldsTheMessageAndTheReadingDecodesIt) {
    const Bitmap host = Host("rocket");
    for (const char* name : {"spread-spectrum:ecc=3", "qim:ecc=3", "stdm:ecc=3", "rdm:ecc=3"}) {
        SCOPED_TRACE(name);
        const std::unique_ptr<WatermarkMethod> method = Method(name);
        ASSERT_EQ(method->PayloadBits(), 45);
        const MethodPayload payload{Bitmap(), PayloadFromSeed(7, 45)};
        const MethodMarked marked = method->Embed(ViewOf(host), payload, 7);
        EXPECT_EQ(marked.Key.Payload, payload.Bits);
        EXPECT_NE(marked.Key.Parameters.find(",ecc=3"), std::string::npos);
        // The key goes through its bytes and the registry to the same method and message.
        const MethodKey back = MethodRegistry::BuiltIn().ReadKey(MethodRegistry::BuiltIn().KeyBytes(marked.Key), "k");
        EXPECT_EQ(back.Payload, payload.Bits);
        EXPECT_EQ(MethodRegistry::BuiltIn().SpecOf(back), method->Describe());
        const MethodReading clean = method->Detect(ViewOf(marked.Picture), back);
        EXPECT_EQ(clean.Bits, detail::EncodePayload(3, payload.Bits));  // the 64 carried bits
        EXPECT_EQ(clean.Message, payload.Bits);
        EXPECT_EQ(clean.Corrected, 0);
        EXPECT_EQ(*clean.BitAccuracy, 1.0);
        // The same seed without the code marks the 64 carried bits the same way: the code
        // changes what is carried, not how.
        const MethodMarked plain = Method(std::string(name).substr(0, std::string(name).find(':')))
                                       ->Embed(ViewOf(host), {Bitmap(), clean.Bits}, 7);
        EXPECT_EQ(plain.Picture, marked.Picture);
        EXPECT_THROW(method->Embed(ViewOf(host), {Bitmap(), PayloadFromSeed(7, 64)}, 7), ArgumentError);
        MethodKey wrong = marked.Key;
        wrong.Payload.resize(64);
        EXPECT_THROW(MethodRegistry::BuiltIn().ReadKey(EncodeMethodKey(wrong), "k"), FormatError);
    }
    // A key of before the code (no ecc in its parameters) is read as a key without one.
    const MethodMarked old = Method("qim")->Embed(ViewOf(host), {Bitmap(), PayloadFromSeed(1, 64)}, 1);
    EXPECT_EQ(old.Key.Parameters, "step=40,bits=64,alpha=0.4");
    EXPECT_EQ(MethodRegistry::BuiltIn().SpecOf(old.Key).PayloadBits(), 64);
}

// A weak mark through JPEG: the channel gets a few carried bits wrong, the code corrects up to
// three and refuses more, and the verdict's payload match follows the message.
TEST(CodedPayloads, CorrectsWhatTheChannelGotWrong) {
    const Bitmap host = Host("rocket");
    const MethodPayload payload{Bitmap(), PayloadFromSeed(2, 45)};
    std::vector<int> errors;
    for (const char* strength : {"1.5", "2", "2.5", "3"}) {
        const std::unique_ptr<WatermarkMethod> method =
            Method(std::string("spread-spectrum:shaping=0,ecc=3,strength=") + strength);
        const MethodMarked marked = method->Embed(ViewOf(host), payload, 2);
        const Bitmap suspect = Attacked(marked.Picture, "real-jpeg:q=80");
        const Extraction x = Extract(*method, marked.Key, ViewOf(suspect));
        const int wrong = Wrong(x.Reading.Bits, detail::EncodePayload(3, payload.Bits));
        errors.push_back(wrong);
        EXPECT_DOUBLE_EQ(*x.Reading.BitAccuracy, 1.0 - wrong / 64.0);
        if (wrong <= 3) {
            EXPECT_EQ(x.Reading.Corrected, wrong);
            EXPECT_EQ(x.Reading.Message, payload.Bits);
            EXPECT_EQ(x.PayloadMatch, true);
        } else {
            EXPECT_EQ(x.PayloadMatch, false);
        }
        const nlohmann::json json = nlohmann::json::parse(ExtractionJson(x));
        EXPECT_EQ(json.at("payload_bits"), 45);
        EXPECT_EQ(json.at("carried_bits"), 64);
        EXPECT_EQ(json.at("payload"), PayloadHex(payload.Bits));
        EXPECT_EQ(json.at("payload_read"), PayloadHex(x.Reading.Message));
        EXPECT_EQ(json.at("carried_read"), PayloadHex(x.Reading.Bits));
        EXPECT_EQ(json.at("message_ok"), x.PayloadMatch.value());
        EXPECT_EQ(json.at("payload_match"), x.PayloadMatch.value());
    }
    // The carried bits each strength got wrong (pinned: the code's work is seen on them).
    EXPECT_EQ(errors, (std::vector<int>{12, 5, 1, 1}));
}

// A mark read inverted (the marked picture's change subtracted twice) is present, its carried
// bits flipped back, and its message decoded as the key's.
TEST(CodedPayloads, AnInvertedMarkDecodesToTheKeysMessage) {
    const Bitmap host = Host("rocket");
    const std::unique_ptr<WatermarkMethod> method = Method("spread-spectrum:shaping=0,ecc=2");
    const MethodPayload payload{Bitmap(), PayloadFromSeed(4, 51)};
    const MethodMarked marked = method->Embed(ViewOf(host), payload, 4);
    std::vector<std::uint8_t> inverted = GrayOf(host).pixels();
    const std::vector<std::uint8_t> was = GrayOf(marked.Picture).pixels();
    for (std::size_t i = 0; i < inverted.size(); ++i)
        inverted[i] = static_cast<std::uint8_t>(std::clamp(2 * int(inverted[i]) - int(was[i]), 0, 255));
    const Extraction x = Extract(*method, marked.Key, ViewOf(Bitmap::fromGray(256, 256, inverted.data())));
    EXPECT_TRUE(x.Judged.Present) << x.Judged.Z;
    EXPECT_TRUE(x.Judged.Inverted) << x.Judged.Z;
    EXPECT_EQ(x.Reading.Message, payload.Bits);
    EXPECT_EQ(x.PayloadMatch, true);
    EXPECT_GT(*x.Reading.BitAccuracy, 0.9);
    // Another message under the same seed is no match.
    const MethodMarked other = method->Embed(ViewOf(host), {Bitmap(), PayloadFromSeed(5, 51)}, 4);
    EXPECT_EQ(Extract(*method, marked.Key, ViewOf(other.Picture)).PayloadMatch, false);
}

TEST(CodedPayloads, TheSyncMethodCarriesACodedMessageToo) {
    const Bitmap host = Host("astronaut");
    const std::unique_ptr<WatermarkMethod> method = Method("spread-spectrum-sync:ecc=5");
    ASSERT_EQ(method->PayloadBits(), 36);
    const MethodPayload payload{Bitmap(), PayloadFromSeed(3, 36)};
    const MethodMarked marked = method->Embed(ViewOf(host), payload, 3);
    const MethodReading reading = method->Detect(ViewOf(marked.Picture), marked.Key);
    EXPECT_EQ(reading.Message, payload.Bits);
    EXPECT_EQ(reading.Corrected, 0);
    EXPECT_EQ(method->KeyFromBytes(method->KeyToBytes(marked.Key), "k").Payload, payload.Bits);
}

// The polarity method's strength is its divisor, whose PSNR rises with it: the search finds
// that, lands within 0.1 dB where the whole steps allow, takes the nearest step where they
// do not, and refuses a target above what the method's least change gives.
TEST(PolarityAtATarget, TheDivisorIsFoundForTheTarget) {
    const Bitmap mark = LoadPictureFile(test::SamplePath("seal-128.pgm")).bitmap;
    const std::unique_ptr<WatermarkMethod> polarity = Method("polarity");
    const auto found = [&](const char* host, double target) {
        return FindStrength(*polarity, ViewOf(Host(host)), {mark, {}}, 1, target);
    };
    const std::unique_ptr<WatermarkMethod> chelsea = found("chelsea", 40);
    EXPECT_EQ(*chelsea->Strength(), 46);
    const MethodMarked marked = chelsea->Embed(ViewOf(Host("chelsea")), {mark, {}}, 1);
    EXPECT_NEAR(marked.Psnr, 40, 0.1);
    EXPECT_NEAR(marked.Psnr, 40.02367, 1e-5);
    // 39.49 dB at 2, 40.60 at 3: the nearest step.
    EXPECT_EQ(*found("retina", 40)->Strength(), 2);
    // 30.60 dB at 3, 31.24 at 4: the search must try the whole steps inside its bracket
    // rather than stop where a guess rounds back onto one of its ends.
    EXPECT_EQ(*found("astronaut", 31)->Strength(), 4);
    try {
        found("rocket", 40);
        ADD_FAILURE() << "rocket reached 40 dB";
    } catch (const ArgumentError& e) {
        EXPECT_NE(std::string(e.what()).find("(the nearest: 37.37 dB at 1000000)"), std::string::npos) << e.what();
    }
    // The key records its divisor and reads back as the method at that divisor, its reading
    // of the marked picture the method's.
    const MethodKey key = MethodRegistry::BuiltIn().ReadKey(chelsea->KeyToBytes(marked.Key), "k");
    EXPECT_EQ(key.Parameters, "divisor=46");
    EXPECT_EQ(MethodRegistry::BuiltIn().SpecOf(key).Name(), "polarity:divisor=46");
    EXPECT_EQ(DecodeMarkKey(chelsea->KeyToBytes(marked.Key), "k").StrengthDivisor, 46);
    EXPECT_EQ(polarity->Detect(ViewOf(marked.Picture), key).Score, 1.0);
    // At the default divisor nothing changed: the same picture and key as the laboratory's.
    const MarkedHost direct = EmbedIntoHost(Host("chelsea"), mark, 1);
    EXPECT_EQ(polarity->Embed(ViewOf(Host("chelsea")), {mark, {}}, 1).Picture, direct.Picture);
    EXPECT_EQ(polarity->KeyFromBytes(EncodeMarkKey(direct.Key), "k").Parameters, "");
    // A smaller divisor is a stronger mark: a lower PSNR on every host.
    const Bitmap cell = Host("cell");
    EXPECT_LT(Method("polarity:divisor=1")->Embed(ViewOf(cell), {mark, {}}, 1).Psnr,
              polarity->Embed(ViewOf(cell), {mark, {}}, 1).Psnr);
}

}  // namespace
}  // namespace quillfen
