#pragma once
// TWatermark: the watermarking workspace of one document. It owns every intermediate plane of
// the method (host X, watermark W, their transforms, polarity maps, the watermarked image, the
// attacked image and the extracted planes) in fixed-size buffers named after the symbols of
// the method, and two view buffers that the windows draw.
//
// Geometry: the host is 256 x 256 in 1024 blocks of 8 x 8, the watermark 128 x 128 in 1024
// blocks of 4 x 4; block k = blockRow * 32 + blockColumn.
//
// Each step reads the buffers of earlier steps, overwrites its own result buffer and leaves a
// gray picture of that result in Display256 or Display128. The workspace keeps no record of
// which steps have run; its callers (the document window, the CLI) run them in order.
//
// The steps are implemented one family per file: watermark.cpp (buffers, transfers, the
// generator's seed), dct.cpp, permutation.cpp, adaptive.cpp, embedding.cpp, extraction.cpp,
// quality.cpp, attacks.cpp.
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "image/bitmap.h"
#include "image/user_prompts.h"

namespace quillfen {

// The result of a PSNR measurement. It exists only when the compared images differ.
struct PsnrResult {
    double Psnr = 0.0;   // decibels
    double SumSq = 0.0;  // sum of squared differences
};

class TWatermark {
public:
    static constexpr int kHostSize = 256;
    static constexpr int kMarkSize = 128;
    static constexpr int kHostPixels = kHostSize * kHostSize;
    static constexpr int kMarkPixels = kMarkSize * kMarkSize;
    static constexpr int kBlocks = 1024;
    // The strength divisor the document window passes to GetYr_hat.
    static constexpr int kStrengthDivisor = 10000;

    using Bytes = std::vector<std::uint8_t>;
    using Reals = std::vector<double>;
    using Orders = std::vector<std::uint16_t>;

    TWatermark();

    // ---- Buffers (row-major; see the table of the method for who writes what) ----
    Bytes X;               // 256 x 256 host image
    Reals XBlockVar;       // 1024 variances of the host's 8 x 8 blocks (working list)
    Orders XBlockOrder;    // host blocks by decreasing variance
    Bytes W;               // 128 x 128 watermark; binarised in place by GetWr
    Reals RandPos;         // 16384 target positions in Wr of W's black pixels
    Reals WrBlockWeight;   // 1024 black counts of Wr's 4 x 4 blocks (working list)
    Orders WrBlockOrder;   // Wr blocks by decreasing black count
    Reals Y;               // 256 x 256 block DCT of X
    Reals Yr;              // 128 x 128 mid-band coefficients of Y
    Bytes P;               // 128 x 128 polarity map of Yr
    Bytes P_hat;           // P XOR Wa
    Reals Yr_hat;          // Yr adjusted to carry P_hat
    Reals Y_hat;           // Y with Yr_hat written back
    Bytes X_hat;           // 256 x 256 watermarked image
    Reals X_hat_real;      // watermarked image as reals (inverse DCT + 0.5, unclamped)
    Bytes Wr;              // pseudo-randomly scattered watermark
    Bytes Wa;              // adaptively reordered watermark
    Bytes X_wave;          // attacked watermarked image
    Reals X_wave_real;     // attacked image as reals
    Reals Y_wave;          // block DCT of X_wave_real
    Reals Yr_wave;         // mid-band coefficients of Y_wave
    Bytes P_wave;          // polarity map of Yr_wave (codes exchanged)
    Bytes Wa_wave;         // extracted adaptive watermark
    Bytes Wr_wave;         // extracted scattered watermark
    Bytes W_wave;          // extracted watermark
    double QuantScale = 0.5;  // scale of the JPEG attack's quantisation steps
    std::int32_t BlackCount = 0;  // zero bytes found by the last CountBlack
    Bytes Display256;      // view of the last 256 x 256 result
    Bytes Display128;      // view of the last 128 x 128 result

    // ---- Transfers and shared small operations (watermark.cpp) ----

    // Loads X from the document's picture. The picture itself is cut or extended (with white)
    // to 256 x 256, as the document then shows it; the blue byte is the gray value.
    void LoadX(Bitmap& bitmap);
    // Loads W from the watermark panel's picture, cut or extended to 128 x 128. W is not
    // binarised here (GetWr does that).
    void LoadW(Bitmap& bitmap);

    // New gray pictures of a 256 x 256 or 128 x 128 byte buffer (Display256, Display128).
    static Bitmap MakeBitmap256(const std::vector<std::uint8_t>& buffer);
    static Bitmap MakeBitmap128(const std::vector<std::uint8_t>& buffer);

    // BlackCount := number of bytes equal to 0 (not merely below 128) of a 128 x 128 buffer.
    void CountBlack(const Bytes& buffer);

    // The "no attack" transfer: X_wave := X_hat, X_wave_real := X_hat_real, view X_wave.
    void CopyXhToXw();

    const std::vector<std::uint8_t>& GetDisplay256() const { return Display256; }
    const std::vector<std::uint8_t>& GetDisplay128() const { return Display128; }
    const std::vector<std::uint8_t>& GetX() const { return X; }
    const std::vector<std::uint8_t>& GetW() const { return W; }

    // ---- The random generator's seed ----
    // With a fixed seed every GetWr starts the generator from it instead of the UTC time of
    // day, so a run can be repeated; nullopt returns to the clock.
    void SetFixedSeed(std::optional<std::uint32_t> seed) { FixedSeed = seed; }
    std::optional<std::uint32_t> GetFixedSeed() const { return FixedSeed; }
    // The seed the last GetWr started from (0 before the first GetWr).
    std::uint32_t LastSeed() const { return LastSeedUsed; }
    // The clock seed: ((hour * 60 + minute) * 60 + second) * 1000 + millisecond, UTC.
    static std::uint32_t ClockSeed();

    // ---- Reference forms ----
    // With literal forms on, the steps use the defining algorithms as written (the cosines
    // evaluated per term, the linear duplicate scan, repeated maximum selection) in place of
    // the table, bitset and sorting forms. Both give the same bytes; the literal ones exist
    // so that tests and benchmarks can hold the fast ones against them.
    void SetLiteralForms(bool on) { Literal = on; }
    bool LiteralForms() const { return Literal; }

    // ---- Block DCT (dct.cpp) ----
    // Whole-plane transforms over the 1024 blocks of a 256 x 256 plane. The forward ones also
    // leave the block-stretched coefficients in Display256.
    void FdctBytes(const Bytes& plane, Reals& coefficients);
    void FdctReals(const Reals& plane, Reals& coefficients);
    // Inverse transform + 0.5 per sample, neither clamped nor rounded.
    void IdctToReals(const Reals& coefficients, Reals& plane) const;
    // Inverse transform + 0.5, clamped to 0..255, rounded half to even.
    void IdctToBytes(const Reals& coefficients, Bytes& plane) const;
    // Per-block contrast stretch of a size x size plane in blockSize x blockSize blocks.
    static void StretchBlock(const Reals& plane, int size, int blockSize, Bytes& view);

    // ---- Pseudo-random permutation (permutation.cpp) ----
    // Binarises W (threshold 128), scatters its black pixels into Wr at distinct positions
    // drawn from the generator, records them in RandPos; BlackCount, Display128 := Wr.
    void GetWr();

    // ---- Adaptive ordering (adaptive.cpp) ----
    void GetWa();
    // Ranks the host blocks by variance and the Wr blocks by black count, and places block
    // WrBlockOrder[i] of `input` at block position XBlockOrder[i] of `output`.
    void Adapt(const Bytes& input, Bytes& output);
    // Population variance (divisor 64) of host block k of X.
    double BlockVariance(int block) const;
    // Block indices by decreasing value, ties to the lower index: the order of repeated
    // selection of the strictly greatest remaining value. Values must be non-negative.
    static void RankBlocks(const Reals& values, Orders& order);
    static void RankBlocksLiteral(const Reals& values, Orders& order);

    // ---- Embedding (embedding.cpp) ----
    void GetY();
    void GetYr();
    void GetP();
    void GetP_hat();
    void GetYr_hat(int divisor);
    void GetY_hat();
    void GetX_hat();
    // The 16 mid-band coefficients of every 8 x 8 block into its 4 x 4 block.
    static void Reduce(const Reals& coefficients, Reals& reduced);
    // 0 where |value| >= |diagonal partner|, else 255.
    static void Polarity(const Reals& reduced, Bytes& map);
    static void Expand(const Reals& reduced, const Bytes& map, int divisor, Reals& adjusted);
    static void MapBack(const Reals& coefficients, const Reals& reduced, Reals& mapped);
    // Index u * 8 + v of mid-band coefficient m (m = 0..15) in its 8 x 8 block.
    static constexpr std::array<int, 16> kMidBand = {4,  5,  12, 19, 26, 33, 40, 48,
                                                     41, 34, 27, 20, 13, 6,  7,  14};

    // ---- Extraction (extraction.cpp) ----
    void GetY_wave();
    void GetYr_wave();
    void GetP_wave();
    void GetWa_wave();
    void GetWr_wave();
    void GetW_wave();

    // ---- Quality measures (quality.cpp) ----
    // PSNR of `image` (reals) against `reference` (bytes). When the two are equal no value
    // exists: the user is told through `prompts` and nothing is returned.
    static std::optional<PsnrResult> ComputePSNR(const Reals& image, const Bytes& reference,
                                                 UserPrompts& prompts);
    // PSNR of X_hat_real against X, then the difference image (whatever the PSNR found).
    std::optional<PsnrResult> GetPSNR_Diff(UserPrompts& prompts);
    // Display256 := |X - round(X_hat_real)| (at most 255) stretched to 0..255.
    void MakeDifferenceImage();
    // Fraction of the reference's black pixels in rows and columns 4..127 that are black in
    // `extracted`; nullopt when the reference has no black pixel there.
    static std::optional<double> NormalizedCorrelation(const Bytes& extracted, const Bytes& reference);
    std::optional<double> GetNC() const;

    // ---- Attacks (attacks.cpp) ----
    // JPEG-style quantisation of X_hat; scored against X_hat (nullopt when unchanged).
    std::optional<PsnrResult> ApplyJpeg(UserPrompts& prompts);
    // The JPEG attack's quantisation and dequantisation of every block of a 256 x 256
    // coefficient plane with steps quantScale * kJpegQuantTable[k].
    static void QuantiseJpeg(Reals& coefficients, double quantScale);
    void ApplyBlurring();
    void ApplyCroppingByZeroInQuarter();
    void ApplyCroppingByImgInQuarter();
    void ApplyCroppingByZeroInHalf();
    void ApplyCroppingByImgInHalf();
    // Luminance quantisation table of the JPEG standard (row-major, 8 x 8).
    static constexpr std::array<double, 64> kJpegQuantTable = {
        16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
        14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
        18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
        49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};

private:
    // One inverse transform of a whole plane giving both the real and the byte form (the
    // same samples IdctToReals and IdctToBytes would give separately).
    void IdctToBoth(const Reals& coefficients, Reals& reals, Bytes& bytes) const;
    void CropInto(bool half, bool withImage);

    bool Literal = false;
    std::optional<std::uint32_t> FixedSeed;
    std::uint32_t LastSeedUsed = 0;
};

}  // namespace quillfen
