// The bytes every cell gives a 256 x 256 gray picture, and a gray picture of another size,
// pinned by their digests: reshaping the attacks (colour, any size, streamed scaling) must
// leave them as they were. A change here changes stored results and must be deliberate.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "quillfen/attacks/attack_catalogue.h"
#include "quillfen/attacks/attack_list.h"
#include "quillfen/image/errors.h"
#include "quillfen/watermark/watermark.h"
#include "tests/test_support.h"
#include "tests/watermark/sample_experiment.h"

namespace quillfen {
namespace {

const TWatermark& Embedded() {
    static const TWatermark w = [] {
        Experiment e = test::SampleExperiment("camera-256.pgm", "seal-128.pgm", 20261208);
        e.Embed();
        return e.Workspace();
    }();
    return w;
}

// The default grid as it stood when these digests were taken, and cells at the ends of every
// parameter's range and combinations that pass both forms between the two kinds of attack.
constexpr const char* kPinnedList =
    "none,jpeg,blur,crop-zero-quarter,crop-image-quarter,crop-zero-half,crop-image-half,"
    "jpeg:scale=1,2,real-jpeg:q=15,20,25,30,35,40,50,60,70,80,90,100,median:k=3,5,7,9,"
    "gauss-noise:sigma=2,5,10,15,25,salt-pepper:p=0.01,0.02,0.05,0.1,blur:passes=2,4,8,"
    "gaussian-blur:sigma=0.5,1,1.5,2,3,sharpen:amount=0.5,1,2,"
    "rotate:deg=-2,-1,-0.75,-0.5,-0.25,0.25,0.5,0.75,1,2,5,10,15,30,45,90,"
    "scale:f=0.5,0.75,0.9,1.1,1.5,2,remove-rows:n=3,6,13,26,remove-cols:n=3,6,13,26,"
    "crop:frac=0.01,0.02,0.05,0.1,0.15,0.2,0.25,0.5,0.75,shift:dx=1,2,4,shift:dx=2,dy=2,"
    "brightness:d=-64,-32,32,64,contrast:c=0.5,0.75,1.5,2,gamma:g=0.5,0.8,1.25,2,equalize,"
    "quantize:levels=8,16,32,"
    "scale:f=0.9+real-jpeg:q=75,crop:frac=0.25+scale:f=0.75,rotate:deg=2+real-jpeg:q=75,"
    "gauss-noise:sigma=5+real-jpeg:q=75,brightness:d=32+contrast:c=1.5+real-jpeg:q=75,"
    // Ends of the ranges.
    "jpeg:scale=0.01,100,blur:passes=100,real-jpeg:q=1,median:k=1,15,gauss-noise:sigma=0,255,"
    "salt-pepper:p=0,1,sharpen:amount=0,10,scale:f=0.1,0.33,1,3,10,rotate:deg=-360,-270,180,360,-33.3,"
    "shift:dx=-256,dy=256,shift:dx=-7,dy=5,remove-rows:n=0,1,127,128,remove-cols:n=1,128,"
    "crop:frac=0,1,brightness:d=-255,255,contrast:c=0,10,gamma:g=0.05,20,quantize:levels=2,256,"
    "gaussian-blur:sigma=0.1,10,"
    // Both forms passed on.
    "shift:dx=4+blur,crop-image-half+median:k=3,rotate:deg=3+jpeg,gauss-noise:sigma=3+crop-image-quarter,"
    "jpeg+blur+crop-zero-half";

std::string Hex16(const std::vector<std::uint8_t>& bytes) { return test::Sha256Hex(bytes).substr(0, 16); }

template <typename T>
void Append(std::vector<std::uint8_t>& to, const std::vector<T>& values) {
    const std::size_t at = to.size();
    to.resize(at + values.size() * sizeof(T));
    if (!values.empty()) std::memcpy(to.data() + at, values.data(), values.size() * sizeof(T));
}

// The sweep's two sides on the marked region: the marked picture with its reals, and the host.
std::string RegionDigest(const AttackCell& cell) {
    const TWatermark& w = Embedded();
    const std::vector<double> hostReals(w.X().begin(), w.X().end());
    const AttackedPicture marked = ApplyAttackCell(cell, {w.X(), w.X_hat(), w.X_hat_real()}, 42);
    const AttackedPicture host = ApplyAttackCell(cell, {w.X(), w.X(), hostReals}, 42);
    std::vector<std::uint8_t> all;
    Append(all, marked.Bytes);
    Append(all, marked.Reals);
    Append(all, host.Bytes);
    return Hex16(all);
}

// The top-left 203 x 157 of the marked region: a gray picture of another size.
GrayPlane OddPicture() {
    const TWatermark& w = Embedded();
    GrayPlane p(203, 157);
    for (int y = 0; y < 157; ++y)
        for (int x = 0; x < 203; ++x) p.at(x, y) = w.X_hat()[static_cast<std::size_t>(y) * 256 + x];
    return p;
}

struct Pinned {
    const char* cell;
    const char* region;  // RegionDigest
    const char* odd;     // the cell on OddPicture(), "" where not pinned
};

// Taken before the attacks learnt colour and any size. The gray picture of another size has
// no digest for the experiment's seven attacks (they were refused there) nor for the row and
// column removals (their count is now proportional to the picture's size).
constexpr Pinned kPinned[] = {
    {"none", "d4cafa81615c5d85", ""},
    {"jpeg", "b5718bc072c6fa2a", ""},
    {"blur", "836a170781f1e3a8", ""},
    {"crop-zero-quarter", "19e423b54b8ddfa9", ""},
    {"crop-image-quarter", "93f6a663f7187eb8", ""},
    {"crop-zero-half", "90cb617e7aed5e39", ""},
    {"crop-image-half", "3b705f87f20f43f2", ""},
    {"jpeg:scale=1", "91227aaf89e7c2ad", ""},
    {"jpeg:scale=2", "c2ebdc9c2907ed05", ""},
    {"real-jpeg:q=15", "aa2119e84e1b12c0", "4568fa679d06ec74"},
    {"real-jpeg:q=20", "c2640e12832a1ddd", "0d9f4c1de07dde59"},
    {"real-jpeg:q=25", "c424dea312d463c4", "c032df95d2a5e8c0"},
    {"real-jpeg:q=30", "5963adad4ea6a7b2", "e6aecea9ec23f683"},
    {"real-jpeg:q=35", "e9349a616f0c61ee", "199fee83052de0cd"},
    {"real-jpeg:q=40", "21a33b586c7f40c8", "b83d2d0ee20639b6"},
    {"real-jpeg:q=50", "a2a9fd5fdd07e498", "d4c843b33a7801a8"},
    {"real-jpeg:q=60", "9bda8b08c1ea80b1", "b6678f41cbd0fbf9"},
    {"real-jpeg:q=70", "cd110901cd9732be", "d5b91723d377691c"},
    {"real-jpeg:q=80", "ae31c1a6b7e26434", "9273446515a32186"},
    {"real-jpeg:q=90", "72b6acd5cbb85b2f", "e4a441367bd8e4f6"},
    {"real-jpeg:q=100", "09331fcbcb831f7a", "330201ecfb060b43"},
    {"median:k=3", "92fca51bb5ed3dc4", "1c642186b2ba69ba"},
    {"median:k=5", "a53779ca378fe3c3", "820a92c91b937c66"},
    {"median:k=7", "2bc28e1251f0cec9", "ea81cba9b42db6c6"},
    {"median:k=9", "ef4f09c0c70f952e", "56c04a86c0b322d4"},
    {"gauss-noise:sigma=2", "53e74d270b9483e9", "4632589db41dce32"},
    {"gauss-noise:sigma=5", "18fadab20f7a52f0", "11206c6992e33ddb"},
    {"gauss-noise:sigma=10", "bd8779990fdf536f", "a86b2d9419c31711"},
    {"gauss-noise:sigma=15", "daceb24b15b85b5c", "2c432133afe12499"},
    {"gauss-noise:sigma=25", "d99aa0f79ce425f4", "d4cb2ed13664b21b"},
    {"salt-pepper:p=0.01", "0f00dbc2366be524", "23993bb4f202fdad"},
    {"salt-pepper:p=0.02", "c59cbdbd0d4850b2", "1e3e2236ccbbb2c2"},
    {"salt-pepper:p=0.05", "b2d3f65fc51e7332", "c7a58e74b8041a65"},
    {"salt-pepper:p=0.1", "ed7e975e35746ec6", "83e27db56b0f0c2a"},
    {"blur:passes=2", "d1adc89e7ca1b365", ""},
    {"blur:passes=4", "f2477594496b6ef2", ""},
    {"blur:passes=8", "0c8dfdb2fde21a85", ""},
    {"gaussian-blur:sigma=0.5", "fbf44b2f6cb0851d", "56ac114c8ed72ab5"},
    {"gaussian-blur:sigma=1", "c7034e101acdaacd", "b8af17c919b59630"},
    {"gaussian-blur:sigma=1.5", "1c5028d293d2a105", "1348aa28d8a41d79"},
    {"gaussian-blur:sigma=2", "f37317feb8e078e3", "e6d270c8061ef623"},
    {"gaussian-blur:sigma=3", "1e08a5afd027f5b8", "c7ff375dcbd4716e"},
    {"sharpen:amount=0.5", "7a434937f58278a3", "389f8dc705086ef8"},
    {"sharpen:amount=1", "38ccecd8b1c717b0", "50761b59c8685560"},
    {"sharpen:amount=2", "2d45f9225726c142", "4e128adc3ee63093"},
    {"rotate:deg=-2", "a5bcb88d8c67a227", "0bdfd31c26632590"},
    {"rotate:deg=-1", "1122c3bfd8bd2e10", "517a3ad4e9abd93b"},
    {"rotate:deg=-0.75", "d75a5db7be8ee732", "f71212e7ab33f4e3"},
    {"rotate:deg=-0.5", "e5e91cb7d1d5d844", "270bb0e90388664e"},
    {"rotate:deg=-0.25", "1459ea79d71cf6e1", "d8b878bf58a7f115"},
    {"rotate:deg=0.25", "aba3c96830388106", "690c8e1b1c23a279"},
    {"rotate:deg=0.5", "d0e6adb871c15fb4", "8cc1d7e2a63e3f9b"},
    {"rotate:deg=0.75", "03ddd53256bfbfa6", "dc5dafacc7955293"},
    {"rotate:deg=1", "24ea62f730c23316", "ae217017e8bad370"},
    {"rotate:deg=2", "d35ab74f93761b34", "1b40e1fbd7bdfbfd"},
    {"rotate:deg=5", "cec800a221b15673", "6fd573b65b660794"},
    {"rotate:deg=10", "76d6f1beeae89a9c", "282bd4cbd1cf6b06"},
    {"rotate:deg=15", "c17a1a000616e8ec", "a0abdd4d439a863a"},
    {"rotate:deg=30", "de72dc39ac091154", "ada23c492355418e"},
    {"rotate:deg=45", "587d3cda879f5ec1", "be29deb9942cc248"},
    {"rotate:deg=90", "dbcf8a69a271e03a", "a2d1fc8a949ca828"},
    {"scale:f=0.5", "1758a9ac788c4f93", "ee51875d4354ce92"},
    {"scale:f=0.75", "6ca0b285274552d7", "aba75b625077747b"},
    {"scale:f=0.9", "a850fd54c9df5a66", "b35cdec54e7aba81"},
    {"scale:f=1.1", "c320072cec950005", "091cbdf15ecf4284"},
    {"scale:f=1.5", "6c2eda595c549fda", "7a28b41688462e08"},
    {"scale:f=2", "903a0706a488f2c1", "6c2d5cf82c68df8f"},
    {"remove-rows:n=3", "19b5adbb0587da19", ""},
    {"remove-rows:n=6", "7af41b01e5323bcb", ""},
    {"remove-rows:n=13", "ef550e7eb15b4abc", ""},
    {"remove-rows:n=26", "8a8b70b9177dbb26", ""},
    {"remove-cols:n=3", "61a6ae06de191f9e", ""},
    {"remove-cols:n=6", "86e449535f8baa61", ""},
    {"remove-cols:n=13", "9000621c36167095", ""},
    {"remove-cols:n=26", "d2a6b7501e186597", ""},
    {"crop:frac=0.01", "39517d52b68d8952", "1af3e8c1b3443e53"},
    {"crop:frac=0.02", "cc96824f5f7d1720", "1c2a2c56a7010422"},
    {"crop:frac=0.05", "ca2369f257d5a3f4", "eac584be1515bcbc"},
    {"crop:frac=0.1", "ebe42954d3fa1ac3", "1f46b78e47c8b6ef"},
    {"crop:frac=0.15", "86a34dcf78ec77f5", "bdf3315eb2c63204"},
    {"crop:frac=0.2", "173185f5a0cdbdef", "bd305e9e65facf5b"},
    {"crop:frac=0.25", "5b8ec4248de874c4", "73150b8691be37aa"},
    {"crop:frac=0.5", "89371746babd3925", "00b1eb1b6f9ecc8b"},
    {"crop:frac=0.75", "2b7c852a08321003", "e00ce9dcf23a3a0a"},
    {"shift:dx=1", "eb2b799df38dd048", "9071e3315bf54c69"},
    {"shift:dx=2", "2c1079bd2928a067", "b4301e91741a1d86"},
    {"shift:dx=4", "ab1b0171a8e977d4", "647a6fcf1e584bad"},
    {"shift:dx=2,dy=2", "13a13753bfa509f2", "4e8e21d4fc4de47f"},
    {"brightness:d=-64", "bdf0733f9a9b5774", "f3ad2336de7931bb"},
    {"brightness:d=-32", "46f6b7e06204c4a0", "c5c6f61c170d42a8"},
    {"brightness:d=32", "c050c0d69f977118", "9adecdb9d77decb0"},
    {"brightness:d=64", "b87e481a73499937", "f9ea57d483cd4512"},
    {"contrast:c=0.5", "fd6365dc50e28e21", "5a3be33f7dc190f2"},
    {"contrast:c=0.75", "27a00931f581c9f2", "c023607c237f438c"},
    {"contrast:c=1.5", "ebc4d657fa662008", "d2d8a56a9adf4157"},
    {"contrast:c=2", "14cee9b4657815a7", "33431ea0527513e1"},
    {"gamma:g=0.5", "3c93e7112c67e56c", "304309adf14d33bd"},
    {"gamma:g=0.8", "2e16b89679f47712", "92a44d321307c4eb"},
    {"gamma:g=1.25", "1e2276751994a499", "35d1d1f46c4fb0d6"},
    {"gamma:g=2", "cc9df90ace41accc", "71e2109d62ad570b"},
    {"equalize", "7859155b558e7446", "0ae606bec2606f0f"},
    {"quantize:levels=8", "bfb7448cc096d05a", "cc0c5aa43e4e3ff3"},
    {"quantize:levels=16", "e4487c69d4a94396", "564969e6e4874dd3"},
    {"quantize:levels=32", "a06ab45aaf44be6d", "084052d63325cc5a"},
    {"scale:f=0.9+real-jpeg:q=75", "3fddc8836a141b11", "e1867147cb48c0fd"},
    {"crop:frac=0.25+scale:f=0.75", "d1e0b1232c13370e", "c4395eab7227e0cb"},
    {"rotate:deg=2+real-jpeg:q=75", "117b67b10ab07d29", "a101391b4bc2e35e"},
    {"gauss-noise:sigma=5+real-jpeg:q=75", "bbb9ba2e5479029e", "63a643e9ad9729ae"},
    {"brightness:d=32+contrast:c=1.5+real-jpeg:q=75", "01bd8a8f57320bdc", "1149da2af328efd4"},
    {"jpeg:scale=0.01", "a79a2d3bd9daeba9", ""},
    {"jpeg:scale=100", "2fa436b85cf3fad7", ""},
    {"blur:passes=100", "ca3533d5c3e3881e", ""},
    {"real-jpeg:q=1", "bca0b60efceac605", "0caccb2a7b0e4770"},
    {"median:k=1", "99449ee99be4f8f0", "998137142ccf7392"},
    {"median:k=15", "8e7ff74ef839d3ee", "76df2d906d9ac055"},
    {"gauss-noise:sigma=0", "99449ee99be4f8f0", "998137142ccf7392"},
    {"gauss-noise:sigma=255", "f211a37d5eee8f75", "7a892cdf7c23dfb0"},
    {"salt-pepper:p=0", "99449ee99be4f8f0", "998137142ccf7392"},
    {"salt-pepper:p=1", "556db1da0d40872c", "e2063acc6c43ebbe"},
    {"sharpen:amount=0", "99449ee99be4f8f0", "998137142ccf7392"},
    {"sharpen:amount=10", "39b0ddb5a4bb3921", "9a792d28ccdabe39"},
    {"scale:f=0.1", "bc69bbb2f9ec9dc9", "d1ac0e20126fe274"},
    {"scale:f=0.33", "66809843f2fe61f3", "669dcdf3d559e595"},
    {"scale:f=1", "99449ee99be4f8f0", "998137142ccf7392"},
    {"scale:f=3", "99449ee99be4f8f0", "998137142ccf7392"},
    {"scale:f=10", "6d03da28df274e17", "b7afdfb79137bf49"},
    {"rotate:deg=-360", "99449ee99be4f8f0", "998137142ccf7392"},
    {"rotate:deg=-270", "dbcf8a69a271e03a", "a2d1fc8a949ca828"},
    {"rotate:deg=180", "830bbe6ce06eff75", "f655aa5fcd1a5803"},
    {"rotate:deg=360", "99449ee99be4f8f0", "998137142ccf7392"},
    {"rotate:deg=-33.3", "5ed807c8f789f304", "889564530923dc3d"},
    {"shift:dx=-256,dy=256", "ff6335069b6e140e", "7e1690ca5c701108"},
    {"shift:dx=-7,dy=5", "f9d2301788e469bc", "e1d40e66dd6b4508"},
    {"remove-rows:n=0", "99449ee99be4f8f0", ""},
    {"remove-rows:n=1", "e6f32ba05547db28", ""},
    {"remove-rows:n=127", "efb3e331ee7a7132", ""},
    {"remove-rows:n=128", "6da48355618982cf", ""},
    {"remove-cols:n=1", "09271a63af86832b", ""},
    {"remove-cols:n=128", "64f6447f5a6bd7b4", ""},
    {"crop:frac=0", "99449ee99be4f8f0", "998137142ccf7392"},
    {"crop:frac=1", "ff6335069b6e140e", "7e1690ca5c701108"},
    {"brightness:d=-255", "ff6335069b6e140e", "7e1690ca5c701108"},
    {"brightness:d=255", "181db90eb2e49ae2", "088bdd6a020f4185"},
    {"contrast:c=0", "9d53f732ca3fd347", "2621666675f423e3"},
    {"contrast:c=10", "8ef17e1e3cd95a44", "b6408ea526124b91"},
    {"gamma:g=0.05", "3b9507ad439d18dd", "94feac5571373ad1"},
    {"gamma:g=20", "cb4e2a03a62c6386", "eb6ff80bfb5f7e38"},
    {"quantize:levels=2", "e6af1e70024efd4e", "4e6aa5a3f83a4b52"},
    {"quantize:levels=256", "99449ee99be4f8f0", "998137142ccf7392"},
    {"gaussian-blur:sigma=0.1", "99449ee99be4f8f0", "998137142ccf7392"},
    {"gaussian-blur:sigma=10", "4779d7469c11bc25", "065f701716e1453b"},
    {"shift:dx=4+blur", "f6c173ddc5928b61", ""},
    {"crop-image-half+median:k=3", "9cf9a60f85245acb", ""},
    {"rotate:deg=3+jpeg", "8bd572ca593c8854", ""},
    {"gauss-noise:sigma=3+crop-image-quarter", "a41bffd7fafc6e1d", ""},
    {"jpeg+blur+crop-zero-half", "9dd5aafa80ea3c99", ""},
};

std::string Describe(const std::vector<AttackCell>& cells) {
    std::string text;
    for (const AttackCell& cell : cells) text += cell.Name + " ";
    return text;
}

TEST(AttackDigests, TheListAndTheTableAgree) {
    const std::vector<AttackCell> cells = ParseAttackCells(kPinnedList);
    ASSERT_EQ(cells.size(), std::size(kPinned)) << Describe(cells);
    for (std::size_t i = 0; i < cells.size(); ++i) EXPECT_EQ(cells[i].Name, kPinned[i].cell);
}

TEST(AttackDigests, TheMarkedRegionKeepsItsBytes) {
    const std::vector<AttackCell> cells = ParseAttackCells(kPinnedList);
    for (std::size_t i = 0; i < cells.size(); ++i) EXPECT_EQ(RegionDigest(cells[i]), kPinned[i].region) << cells[i].Name;
}

TEST(AttackDigests, AGrayPictureOfAnotherSizeKeepsItsBytes) {
    const std::vector<AttackCell> cells = ParseAttackCells(kPinnedList);
    const GrayPlane odd = OddPicture();
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (*kPinned[i].odd == '\0') continue;
        EXPECT_EQ(Hex16(ApplyAttackCell(cells[i], odd, 42).pixels()), kPinned[i].odd) << cells[i].Name;
    }
}

}  // namespace
}  // namespace quillfen
