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
// gray picture of that result in Display256 or Display128 (unless SetResultsOnly).
// The workspace keeps no record of
// which steps have run: Experiment (experiment.h) owns a workspace, knows the order of the
// steps and which have run, and is what the windows, the CLI, the benchmarks and the tests
// drive. Outside the engine the buffers are read only, through the accessors named after
// them.
//
// The steps are implemented one family per file: watermark.cpp (buffers, transfers, the
// generator's seed), dct.cpp, permutation.cpp, adaptive.cpp, embedding.cpp, extraction.cpp,
// quality.cpp, attacks.cpp.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "quillfen/image/bitmap.h"
#include "quillfen/image/export.h"
#include "quillfen/watermark/extraction_key.h"

QUILLFEN_API_BEGIN
namespace quillfen {

// The result of a PSNR measurement. It exists only when the compared images differ.
struct PsnrResult {
    double Psnr = 0.0;   // decibels
    double SumSq = 0.0;  // sum of squared differences

    bool operator==(const PsnrResult&) const = default;
};

class TWatermark {
public:
    static constexpr int kHostSize = kMarkRegionSide;
    static constexpr int kMarkSize = 128;
    static constexpr int kHostPixels = kHostSize * kHostSize;
    static constexpr int kMarkPixels = kMarkSize * kMarkSize;
    static constexpr int kBlocks = 1024;
    static constexpr int kBlocksPerRow = 32;
    // The strength divisor the document window passes to GetYr_hat.
    static constexpr int kStrengthDivisor = kMarkStrengthDivisor;

    using Bytes = std::vector<std::uint8_t>;
    using Reals = std::vector<double>;
    using Orders = std::vector<std::uint16_t>;

    // Which buffers a workspace is made with: all of them, or those of a results-only one
    // (SetResultsOnly), which has no Y_wave and no views until SetResultsOnly(false).
    enum class Planes : std::uint8_t { All, ResultsOnly };

    TWatermark() : TWatermark(Planes::All) {}
    explicit TWatermark(Planes planes);

    // ---- Geometry ----
    // Index of the top-left sample of block k: of the host (8 x 8 blocks, 256 a row) and of
    // the watermark planes (4 x 4 blocks, 128 a row).
    static constexpr int HostBlockStart(int block) {
        return 8 * (block / kBlocksPerRow) * kHostSize + 8 * (block % kBlocksPerRow);
    }
    static constexpr int MarkBlockStart(int block) {
        return 4 * (block / kBlocksPerRow) * kMarkSize + 4 * (block % kBlocksPerRow);
    }
    // The diagonal partner of reduced position (i, j): the same coefficient of the next block
    // down and to the right, wrapping at the last block row and column.
    static constexpr int DiagonalPartner(int i, int j) {
        return ((i + 4) % kMarkSize) * kMarkSize + (j + 4) % kMarkSize;
    }

    // ---- The buffers, read only (row-major, named after the symbols of the method) ----
    const Bytes& X() const { return X_; }                      // 256 x 256 host image
    const Reals& XBlockVar() const { return XBlockVar_; }      // variances of the host's blocks
    const Orders& XBlockOrder() const { return XBlockOrder_; } // host blocks by decreasing variance
    const Bytes& W() const { return W_; }                      // 128 x 128 watermark; binarised by GetWr
    const Reals& RandPos() const { return RandPos_; }          // positions in Wr of W's black pixels
    const Reals& WrBlockWeight() const { return WrBlockWeight_; }  // black counts of Wr's blocks
    const Orders& WrBlockOrder() const { return WrBlockOrder_; }   // Wr blocks by decreasing count
    const Reals& Y() const { return Y_; }                      // block DCT of X
    const Reals& Yr() const { return Yr_; }                    // mid-band coefficients of Y
    const Bytes& P() const { return P_; }                      // polarity map of Yr
    const Bytes& P_hat() const { return P_hat_; }              // P XOR Wa
    const Reals& Yr_hat() const { return Yr_hat_; }            // Yr adjusted to carry P_hat
    const Reals& Y_hat() const { return Y_hat_; }              // Y with Yr_hat written back
    const Bytes& X_hat() const { return X_hat_; }              // the watermarked image
    const Reals& X_hat_real() const { return X_hat_real_; }    // the same as reals (IDCT + 0.5)
    const Bytes& Wr() const { return Wr_; }                    // pseudo-randomly scattered watermark
    const Bytes& Wa() const { return Wa_; }                    // adaptively reordered watermark
    const Bytes& X_wave() const { return X_wave_; }            // attacked watermarked image
    const Reals& X_wave_real() const { return X_wave_real_; }  // the same as reals
    const Reals& Y_wave() const { return Y_wave_; }            // block DCT of X_wave_real
    const Reals& Yr_wave() const { return Yr_wave_; }          // mid-band coefficients of Y_wave
    const Bytes& P_wave() const { return P_wave_; }            // polarity map of Yr_wave
    const Bytes& Wa_wave() const { return Wa_wave_; }          // extracted adaptive watermark
    const Bytes& Wr_wave() const { return Wr_wave_; }          // extracted scattered watermark
    const Bytes& W_wave() const { return W_wave_; }            // extracted watermark
    const Bytes& Display256() const { return Display256_; }    // view of the last 256 x 256 result
    const Bytes& Display128() const { return Display128_; }    // view of the last 128 x 128 result
    // Zero bytes found by the last CountBlack (GetWr and GetWa count their result).
    std::int32_t BlackCount() const { return BlackCount_; }

    // Scale of the JPEG attack's quantisation steps (0.5 unless set).
    double QuantScale() const { return QuantScale_; }
    void SetQuantScale(double scale) { QuantScale_ = scale; }

    // The embedding's results that extraction needs, and their return into a workspace
    // (for extraction in another workspace or after the embedding's own has gone). Restore
    // throws ArgumentError for buffers of the wrong size, before anything changes.
    ExtractionKey Key() const;
    void RestoreKey(const ExtractionKey& key);

    // ---- Transfers and shared small operations (watermark.cpp) ----

    // Loads X from the document's picture. The picture itself is cut or extended (with white)
    // to 256 x 256, as the document then shows it; the blue byte is the gray value.
    void LoadX(Bitmap& bitmap);
    // Loads W from the watermark panel's picture, cut or extended to 128 x 128. W is not
    // binarised here (GetWr does that).
    void LoadW(Bitmap& bitmap);
    // A watermarked picture from elsewhere as X_hat and X_hat_real (and, unless `host` is
    // empty, its host as X), so that the attacks can run on it; and an attacked picture as
    // X_wave and X_wave_real, so that the extraction can run on it. Each plane holds 256 x 256
    // values, row-major; ArgumentError for any other size, before anything changes.
    void LoadMarked(std::span<const std::uint8_t> host, std::span<const std::uint8_t> marked,
                    std::span<const double> markedReal);
    void LoadAttacked(std::span<const std::uint8_t> attacked, std::span<const double> attackedReal);
    // The same without a copy: the planes are exchanged with X_wave's and X_wave_real's, so the
    // caller's vectors come back holding the previous ones (for the next attack to overwrite).
    void SwapAttacked(Bytes& attacked, Reals& attackedReal);
    // The checks of LoadAttacked alone.
    static void CheckAttackedPlanes(std::span<const std::uint8_t> attacked, std::span<const double> attackedReal);

    // New gray pictures of a 256 x 256 or 128 x 128 byte buffer (Display256, Display128).
    static Bitmap MakeBitmap256(const std::vector<std::uint8_t>& buffer);
    static Bitmap MakeBitmap128(const std::vector<std::uint8_t>& buffer);

    // BlackCount := number of bytes equal to 0 (not merely below 128) of a 128 x 128 buffer.
    void CountBlack(const Bytes& buffer);

    // The "no attack" transfer: X_wave := X_hat, X_wave_real := X_hat_real, view X_wave.
    void CopyXhToXw();

    // ---- The random generator's seed ----
    // With a fixed seed every GetWr starts the generator from it instead of the UTC time of
    // day, so a run can be repeated; nullopt returns to the clock.
    void SetFixedSeed(std::optional<std::uint32_t> seed) { FixedSeed = seed; }
    std::optional<std::uint32_t> GetFixedSeed() const { return FixedSeed; }
    // The seed the last GetWr started from (0 before the first GetWr).
    std::uint32_t LastSeed() const { return LastSeedUsed; }
    // The clock seed: ((hour * 60 + minute) * 60 + second) * 1000 + millisecond, UTC.
    static std::uint32_t ClockSeed();

    // ---- Results only ----
    // For front ends that read the results (X_hat, the scores, W_wave, the relations) and no
    // intermediate picture: a sweep, an experiment without --out, the marking commands. On,
    // the steps leave Display256 and Display128 as they were, and GetY_wave transforms only
    // the mid-band coefficients that GetYr_wave keeps, straight into Yr_wave (Y_wave is not
    // written). Every other buffer and every result is the same either way. Turning it off
    // makes the buffers a results-only workspace was made without.
    void SetResultsOnly(bool on);
    bool ResultsOnlyOn() const { return ResultsOnly; }

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
    // The 16 mid-band coefficients of every block of a real plane, straight into the reduced
    // 128 x 128 layout: the values of FdctReals followed by Reduce, without the other 48.
    void FdctMidBand(const Reals& plane, Reals& reduced) const;
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
    // exists and nothing is returned; the front ends tell the user so.
    static std::optional<PsnrResult> ComputePSNR(const Reals& image, const Bytes& reference);
    // The same of a byte picture (256 x 256 each): what the real form gives for its bytes.
    static std::optional<PsnrResult> ComputePSNR(std::span<const std::uint8_t> image,
                                                 std::span<const std::uint8_t> reference);
    // PSNR of X_hat_real against X, then the difference image (whatever the PSNR found).
    std::optional<PsnrResult> GetPSNR_Diff();
    // Display256 := |X - round(X_hat_real)| (at most 255) stretched to 0..255.
    void MakeDifferenceImage();
    // Fraction of the reference's black pixels in rows and columns 4..127 that are black in
    // `extracted`; nullopt when the reference has no black pixel there.
    static std::optional<double> NormalizedCorrelation(const Bytes& extracted, const Bytes& reference);
    std::optional<double> GetNC() const;

    // ---- Attacks (attacks.cpp) ----
    // JPEG-style quantisation of X_hat; scored against X_hat (nullopt when unchanged).
    std::optional<PsnrResult> ApplyJpeg();
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
    // The engine's unit tests set up a single step's inputs through it.
    friend struct WorkspaceBuffers;

    // One inverse transform of a whole plane giving both the real and the byte form (the
    // same samples IdctToReals and IdctToBytes would give separately).
    void IdctToBoth(const Reals& coefficients, Reals& reals, Bytes& bytes) const;
    // The JPEG attack's transform, quantisation and inverse transform of `plane`, block row by
    // block row: the results of FdctReals, QuantiseJpeg and IdctToBoth without their planes.
    void QuantisedRoundTrip(const Reals& plane, double quantScale, Reals& reals, Bytes& bytes) const;
    void CropInto(bool half, bool withImage);
    // output's block to[i] := input's block from[i], for the 1024 blocks of a watermark plane.
    static void MoveMarkBlocks(const Bytes& input, const Orders& from, Bytes& output, const Orders& to);

    Bytes X_;
    Reals XBlockVar_;
    Orders XBlockOrder_;
    Bytes W_;
    Reals RandPos_;
    Reals WrBlockWeight_;
    Orders WrBlockOrder_;
    Reals Y_;
    Reals Yr_;
    Bytes P_;
    Bytes P_hat_;
    Reals Yr_hat_;
    Reals Y_hat_;
    Bytes X_hat_;
    Reals X_hat_real_;
    Bytes Wr_;
    Bytes Wa_;
    Bytes X_wave_;
    Reals X_wave_real_;
    Reals Y_wave_;
    Reals Yr_wave_;
    Bytes P_wave_;
    Bytes Wa_wave_;
    Bytes Wr_wave_;
    Bytes W_wave_;
    double QuantScale_ = 0.5;
    std::int32_t BlackCount_ = 0;
    Bytes Display256_;
    Bytes Display128_;

    bool Literal = false;
    bool ResultsOnly = false;
    std::optional<std::uint32_t> FixedSeed;
    std::uint32_t LastSeedUsed = 0;
};

}  // namespace quillfen
QUILLFEN_API_END
