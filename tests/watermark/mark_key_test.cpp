#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "quillfen/image/errors.h"
#include "quillfen/watermark/detection_thresholds.h"
#include "quillfen/watermark/mark_key.h"
#include "tests/key_files.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

using test::KeyBytes;
using test::Resealed;

// The message of the FormatError that decoding `bytes` throws ("" when it does not throw).
std::string Refusal(const KeyBytes& bytes) {
    try {
        DecodeMarkKey(bytes, "k.key");
    } catch (const FormatError& e) {
        return e.what();
    }
    return "";
}

TEST(Sha256, KnownDigests) {
    const std::string abc = "abc";
    EXPECT_EQ(HexDigest(Sha256(std::vector<std::uint8_t>(abc.begin(), abc.end()))),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(HexDigest(Sha256({})), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST(MarkKey, DecodesToTheKeyItWasMadeFrom) {
    // Marks from one black pixel to a quarter of the mark: the scatter list's length varies.
    for (const int side : {1, 24, 64}) {
        const MarkKey key = test::SyntheticKey(side, 256 + side, 4000);
        const KeyBytes bytes = EncodeMarkKey(key);
        EXPECT_EQ(bytes.size(), 12400u + 2u * static_cast<std::size_t>(side * side)) << side;
        const MarkKey back = DecodeMarkKey(bytes, "k.key");
        EXPECT_EQ(back, key) << side;
        EXPECT_EQ(EncodeMarkKey(back), bytes) << side;
        EXPECT_EQ(back.BlackCount(), side * side);
    }
}

TEST(MarkKey, RefusesEachKindOfDamageWithItsOwnReason) {
    const KeyBytes key = EncodeMarkKey(test::SyntheticKey());
    auto with = [&](auto change) {
        KeyBytes bytes = key;
        change(bytes);
        return bytes;
    };
    struct Case {
        const char* name;
        KeyBytes bytes;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"empty", {}, "is not a Quillfen key file"},
        {"a PGM file", {'P', '5', '\n', '1', ' ', '1', '\n', '2', '5', '5', '\n', 0}, "is not a Quillfen key file"},
        {"magic only", KeyBytes(key.begin(), key.begin() + 8), "is truncated"},
        {"half", KeyBytes(key.begin(), key.begin() + key.size() / 2), "is truncated"},
        {"last byte gone", KeyBytes(key.begin(), key.end() - 1), "is truncated"},
        {"newer version", Resealed(with([](KeyBytes& b) { b[test::kKeyVersionAt] = 5; })),
         "was written by a newer Quillfen (key format 5; this program reads formats 1 to 4)"},
        {"a method's key of format 4", Resealed(with([](KeyBytes& b) { b[test::kKeyVersionAt] = 4; })),
         "is the key of a blind method (key format 4), not of the polarity method"},
        {"format 2 without its calibration", Resealed(with([](KeyBytes& b) { b[test::kKeyVersionAt] = 2; })),
         "key format 2 without a calibration"},
        {"version 0", Resealed(with([](KeyBytes& b) { b[test::kKeyVersionAt] = 0; })), "key format 0 does not exist"},
        {"one bit of P", with([](KeyBytes& b) { b[test::kKeyPlanesAt + 9] ^= 4; }), "checksum does not match"},
        {"one bit of the checksum", with([](KeyBytes& b) { b.back() ^= 1; }), "checksum does not match"},
        {"unknown flag", Resealed(with([](KeyBytes& b) { b[test::kKeyFlagsAt] = 2; })), "flags 2"},
        {"huge host", Resealed(with([](KeyBytes& b) { test::PutU32(b, test::kKeyWidthAt, 40000); })),
         "beyond the size limits"},
        {"host under the region", Resealed(with([](KeyBytes& b) { test::PutU32(b, test::kKeyWidthAt, 255); })),
         "smaller than its 256 x 256 region"},
        {"another region size", Resealed(with([](KeyBytes& b) { test::PutU32(b, test::kKeyRegionSizeAt, 128); })),
         "describes a 128 x 128 region"},
        {"zero divisor", Resealed(with([](KeyBytes& b) { test::PutU32(b, test::kKeyDivisorAt, 0); })),
         "strength divisor of 0"},
        {"count beyond the mark", Resealed(with([](KeyBytes& b) { test::PutU32(b, test::kKeyBlackAt, 16385); })),
         "length does not match"},
        {"count and length disagree", Resealed(with([](KeyBytes& b) { b.insert(b.end() - 32, {0, 0}); })),
         "length does not match"},
        {"order repeats a block", Resealed(with([](KeyBytes& b) {
             b[test::kKeyOrdersAt + 2048 + 6] = b[test::kKeyOrdersAt + 2048];
             b[test::kKeyOrdersAt + 2048 + 7] = b[test::kKeyOrdersAt + 2048 + 1];
         })),
         "block order does not name every block once"},
        {"position out of range", Resealed(with([](KeyBytes& b) {
             b[test::kKeyPositionsAt + 1] = 0x40;  // 16384 and more
         })),
         "scatter position 0 is out of range or repeated"},
    };
    for (const Case& c : cases) {
        const std::string reason = Refusal(c.bytes);
        EXPECT_NE(reason.find("'k.key' "), std::string::npos) << c.name << ": " << reason;
        EXPECT_NE(reason.find(c.reason), std::string::npos) << c.name << ": " << reason;
        EXPECT_EQ(reason.find('\n'), std::string::npos) << c.name;
    }
    // A mark whose black pixels disagree with the header's count: one more black pixel in W.
    KeyBytes extra = key;
    const std::size_t wAt = test::kKeyPlanesAt + 2048;
    std::size_t at = wAt;
    while (extra[at] == 0) ++at;  // a byte holding a white pixel
    extra[at] = static_cast<std::uint8_t>(extra[at] & (extra[at] - 1));
    EXPECT_NE(Refusal(Resealed(extra)).find("black pixels, its header"), std::string::npos);
}

// A calibration of the key's own, its thresholds fitted from its components.
KeyCalibration SomeCalibration() {
    KeyCalibration cal;
    cal.Components.push_back({KeyTrialKind::Noise, 100, 1800, 0.01, 0.012, 0.011, 0.05});
    cal.Components.push_back({KeyTrialKind::Jpeg, 0, 41, 0.02, 0.01, 0.011, 0.04});
    FitKeyCalibration(cal);
    return cal;
}

TEST(MarkKey, ACalibrationTravelsInASectionThatIsCheckedLikeTheRest) {
    MarkKey key = test::SyntheticKey();
    const KeyBytes plain = EncodeMarkKey(key);
    key.Calibration = SomeCalibration();
    const KeyBytes bytes = EncodeMarkKey(key);
    EXPECT_EQ(bytes[test::kKeyVersionAt], 2);
    EXPECT_EQ(plain[test::kKeyVersionAt], 1);  // a key without one is a format 1 key, as before
    EXPECT_EQ(DecodeMarkKey(bytes, "k.key"), key);

    // The calibration section starts where the format 1 key's checksum stood.
    const std::size_t section = plain.size() - kSha256Size;
    const std::size_t payload = section + 8;
    auto with = [&](auto change) {
        KeyBytes b = bytes;
        change(b);
        return Resealed(b);
    };
    struct Case {
        const char* name;
        KeyBytes bytes;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"unknown section", with([&](KeyBytes& b) { b[section] = 'X'; }), "a section 'XULL'"},
        {"two calibrations",
         with([&](KeyBytes& b) {
             b.insert(b.end() - kSha256Size, b.begin() + static_cast<std::ptrdiff_t>(section),
                      b.end() - kSha256Size);
         }),
         "holds two calibrations"},
        {"section past the end", with([&](KeyBytes& b) { test::PutU32(b, section + 4, 100000); }),
         "runs past the end"},
        {"another layout", with([&](KeyBytes& b) { b[payload] = 9; }), "layout 9"},
        {"threshold moved", with([&](KeyBytes& b) { b[payload + 14] ^= 0x01; }),
         "thresholds that its own trials do not give"},
        {"unknown trial kind", with([&](KeyBytes& b) { b[payload + 24] = 40; }), "trial kind 40"},
        {"trials miscounted", with([&](KeyBytes& b) { b[payload + 4] ^= 1; }), "counts"},
    };
    for (const Case& c : cases) {
        const std::string reason = Refusal(c.bytes);
        EXPECT_NE(reason.find(c.reason), std::string::npos) << c.name << ": " << reason;
    }
}

TEST(MarkKey, EveryCutAndEveryFlippedByteIsRefused) {
    MarkKey calibrated = test::SyntheticKey();
    calibrated.Calibration = SomeCalibration();
    const KeyBytes key = EncodeMarkKey(calibrated);
    for (std::size_t keep = 0; keep < key.size(); keep += 97)
        EXPECT_FALSE(Refusal(KeyBytes(key.begin(), key.begin() + static_cast<std::ptrdiff_t>(keep))).empty()) << keep;
    for (std::size_t at = 0; at < key.size(); at += 89) {
        KeyBytes damaged = key;
        damaged[at] ^= 0x20;
        EXPECT_FALSE(Refusal(damaged).empty()) << at;
    }
}

TEST(MarkKey, FilesAreWrittenWholeAndReadWithTheFileRules) {
    test::TempDir dir;
    const MarkKey key = test::SyntheticKey();
    SaveMarkKey(dir.file("a.key"), key);
    EXPECT_EQ(LoadMarkKey(dir.file("a.key")), key);
    EXPECT_EQ(dir.listing(), std::vector<std::string>{"a.key"});  // no temporary left

    EXPECT_THROW(LoadMarkKey(dir.file("missing.key")), FileError);
    EXPECT_THROW(LoadMarkKey(dir.path()), FileError);
    test::WriteBytes(dir.file("big.key"), std::vector<std::uint8_t>(kMaxKeyFileBytes + 1, 0x89));
    EXPECT_THROW(LoadMarkKey(dir.file("big.key")), FormatError);
    // Saving into a missing folder fails and leaves nothing.
    EXPECT_THROW(SaveMarkKey(dir.file("no/such/folder.key"), key), FileError);
}

}  // namespace
}  // namespace quillfen
