// The bytes every cell gives the marked region, a gray picture of another size and a colour
// picture, pinned by their digests: the same bytes on every machine and vector target, and
// the region's as they were before the attacks learnt colour and any size. A change here
// changes stored results and must be deliberate: QF_PRINT_DIGESTS=1 prints the tables anew.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "quillfen/attacks/attack_catalogue.h"
#include "quillfen/attacks/attack_list.h"
#include "quillfen/image/errors.h"
#include "quillfen/io/picture_files.h"
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

// The cells added since: StirMark's geometry and the print-and-scan model.
constexpr const char* kNewList =
    "random-bending,random-bending:s=0.5,2,3,affine:a=1.01,b=0.013,c=0.009,d=1.011,affine:b=0.05,"
    "affine:a=0.8,d=1.2,aspect:r=0.9,1.2,rotate-crop:deg=5,-2,90,rotate-scale:deg=5,-2,90,"
    "crop-resize:frac=0.1,crop-resize:frac=0.2,x=0.25,y=0.75,crop-resize:frac=0.5,x=0,y=1,print-scan,"
    "print-scan:deg=-1,sigma=0,noise=0,g=0.8,random-bending+real-jpeg:q=75,crop-resize:frac=0.1+real-jpeg:q=75";

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

// The top-left 203 x 157 of a 256 x 256 plane: a gray picture of another size.
GrayPlane Odd(const std::vector<std::uint8_t>& region) {
    GrayPlane p(203, 157);
    for (int y = 0; y < 157; ++y)
        for (int x = 0; x < 203; ++x) p.at(x, y) = region[static_cast<std::size_t>(y) * 256 + x];
    return p;
}

std::string OddDigest(const AttackCell& cell) {
    return Hex16(ApplyAttackCell(cell, Odd(Embedded().X_hat()), 42, Odd(Embedded().X())).pixels());
}

// A colour picture of 203 x 157 from three of the bundled hosts as its blue, green and red.
Bitmap Colour(const char* blue, const char* green, const char* red) {
    const char* names[] = {blue, green, red};
    Bitmap picture(203, 157, 0);
    for (int c = 0; c < 3; ++c) {
        const Bitmap host = LoadPictureFile(test::SamplePath(std::string("hosts/") + names[c])).bitmap;
        for (int y = 0; y < 157; ++y)
            for (int x = 0; x < 203; ++x) picture.row(y)[3 * x + c] = host.blue(x, y);
    }
    return picture;
}

std::string ColourDigest(const AttackCell& cell) {
    static const Bitmap picture = Colour("astronaut.pgm", "chelsea.pgm", "coffee.pgm");
    static const Bitmap host = Colour("brick.pgm", "clock.pgm", "cell.pgm");
    return Hex16(ApplyAttackCell(cell, picture, 42, host).bytes());
}

struct Pinned {
    const char* cell;
    const char* region;  // RegionDigest
    const char* odd;     // OddDigest
    const char* colour;  // ColourDigest
};

// The region's digests were taken before the attacks learnt colour and any size; so were the
// gray picture's of another size, except those of the experiment's seven (refused there then)
// and of the row and column removals (their count is now proportional to the picture's size).
constexpr Pinned kPinned[] = {
    {"none", "d4cafa81615c5d85", "998137142ccf7392", "169f69b8853a79d4"},
    {"jpeg", "b5718bc072c6fa2a", "f50b38e17512f080", "d9253df7b33b2b2d"},
    {"blur", "836a170781f1e3a8", "63724568b6352a46", "9f87a82b3997e022"},
    {"crop-zero-quarter", "19e423b54b8ddfa9", "b947627eb14e91a8", "06665d64d61a0c04"},
    {"crop-image-quarter", "93f6a663f7187eb8", "66ce5ef02cde2fd9", "6b5aa88200ec445d"},
    {"crop-zero-half", "90cb617e7aed5e39", "5140a0af676db702", "b14d1a2c5686eb5f"},
    {"crop-image-half", "3b705f87f20f43f2", "3e884f0bdc5a6c32", "fff204840cabbcb5"},
    {"jpeg:scale=1", "91227aaf89e7c2ad", "cec48bb699d86b5c", "4db220e44777b9e5"},
    {"jpeg:scale=2", "c2ebdc9c2907ed05", "defb046ceaa33c0b", "bb6d856c1310e6b1"},
    {"real-jpeg:q=15", "aa2119e84e1b12c0", "4568fa679d06ec74", "b42d95d6978e32db"},
    {"real-jpeg:q=20", "c2640e12832a1ddd", "0d9f4c1de07dde59", "f6de7bc451ee3b17"},
    {"real-jpeg:q=25", "c424dea312d463c4", "c032df95d2a5e8c0", "1b78807b67a7e2c4"},
    {"real-jpeg:q=30", "5963adad4ea6a7b2", "e6aecea9ec23f683", "80228ffebb40d21e"},
    {"real-jpeg:q=35", "e9349a616f0c61ee", "199fee83052de0cd", "97a7b3bb908b014b"},
    {"real-jpeg:q=40", "21a33b586c7f40c8", "b83d2d0ee20639b6", "4305e66a90a80670"},
    {"real-jpeg:q=50", "a2a9fd5fdd07e498", "d4c843b33a7801a8", "bf66b2fd19c825db"},
    {"real-jpeg:q=60", "9bda8b08c1ea80b1", "b6678f41cbd0fbf9", "8d1e5b996e228d9b"},
    {"real-jpeg:q=70", "cd110901cd9732be", "d5b91723d377691c", "4b40196169197745"},
    {"real-jpeg:q=80", "ae31c1a6b7e26434", "9273446515a32186", "386cea56d207149e"},
    {"real-jpeg:q=90", "72b6acd5cbb85b2f", "e4a441367bd8e4f6", "81bbf7d0644158db"},
    {"real-jpeg:q=100", "09331fcbcb831f7a", "330201ecfb060b43", "07481afaf5b7f33c"},
    {"median:k=3", "92fca51bb5ed3dc4", "1c642186b2ba69ba", "f4cd5a9c2e3e1dab"},
    {"median:k=5", "a53779ca378fe3c3", "820a92c91b937c66", "bad7d5bd98133fa5"},
    {"median:k=7", "2bc28e1251f0cec9", "ea81cba9b42db6c6", "96d7dea57ad35e38"},
    {"median:k=9", "ef4f09c0c70f952e", "56c04a86c0b322d4", "a7a6627ce6fa2ec4"},
    {"gauss-noise:sigma=2", "53e74d270b9483e9", "4632589db41dce32", "cf00b0230fb1182f"},
    {"gauss-noise:sigma=5", "18fadab20f7a52f0", "11206c6992e33ddb", "e7c1562ce4711d12"},
    {"gauss-noise:sigma=10", "bd8779990fdf536f", "a86b2d9419c31711", "62c21eb11c7d9b68"},
    {"gauss-noise:sigma=15", "daceb24b15b85b5c", "2c432133afe12499", "6dc28f68c2a2f83c"},
    {"gauss-noise:sigma=25", "d99aa0f79ce425f4", "d4cb2ed13664b21b", "2f919dbe36ef53b4"},
    {"salt-pepper:p=0.01", "0f00dbc2366be524", "23993bb4f202fdad", "41b4444f275aca18"},
    {"salt-pepper:p=0.02", "c59cbdbd0d4850b2", "1e3e2236ccbbb2c2", "e2b82e00ee8798ff"},
    {"salt-pepper:p=0.05", "b2d3f65fc51e7332", "c7a58e74b8041a65", "841b93f07d17776e"},
    {"salt-pepper:p=0.1", "ed7e975e35746ec6", "83e27db56b0f0c2a", "52177eba9e207c33"},
    {"blur:passes=2", "d1adc89e7ca1b365", "1434b6c9aa507498", "966a9cf5714ee16b"},
    {"blur:passes=4", "f2477594496b6ef2", "14d512287e556002", "9f34f165e843b466"},
    {"blur:passes=8", "0c8dfdb2fde21a85", "f5e205827267a227", "a94aa4e458a6a279"},
    {"gaussian-blur:sigma=0.5", "fbf44b2f6cb0851d", "56ac114c8ed72ab5", "e5a602860794dce6"},
    {"gaussian-blur:sigma=1", "c7034e101acdaacd", "b8af17c919b59630", "98cbbeeee95c0b70"},
    {"gaussian-blur:sigma=1.5", "1c5028d293d2a105", "1348aa28d8a41d79", "bef5a821a94c8475"},
    {"gaussian-blur:sigma=2", "f37317feb8e078e3", "e6d270c8061ef623", "dccbebd3618140fb"},
    {"gaussian-blur:sigma=3", "1e08a5afd027f5b8", "c7ff375dcbd4716e", "3fc93f92f632fac6"},
    {"sharpen:amount=0.5", "7a434937f58278a3", "389f8dc705086ef8", "701b625a2cc72c32"},
    {"sharpen:amount=1", "38ccecd8b1c717b0", "50761b59c8685560", "baab5e8406370b4a"},
    {"sharpen:amount=2", "2d45f9225726c142", "4e128adc3ee63093", "33c970956de09dd4"},
    {"rotate:deg=-2", "a5bcb88d8c67a227", "0bdfd31c26632590", "817c9d27570ff2b7"},
    {"rotate:deg=-1", "1122c3bfd8bd2e10", "517a3ad4e9abd93b", "40336637959eaafd"},
    {"rotate:deg=-0.75", "d75a5db7be8ee732", "f71212e7ab33f4e3", "f5a99aa21262f35d"},
    {"rotate:deg=-0.5", "e5e91cb7d1d5d844", "270bb0e90388664e", "7f0c5a20b4dd786e"},
    {"rotate:deg=-0.25", "1459ea79d71cf6e1", "d8b878bf58a7f115", "45533f70a6db72b9"},
    {"rotate:deg=0.25", "aba3c96830388106", "690c8e1b1c23a279", "7203672c8c11b0a9"},
    {"rotate:deg=0.5", "d0e6adb871c15fb4", "8cc1d7e2a63e3f9b", "951c6d839b812fd6"},
    {"rotate:deg=0.75", "03ddd53256bfbfa6", "dc5dafacc7955293", "03c750478574f08f"},
    {"rotate:deg=1", "24ea62f730c23316", "ae217017e8bad370", "3ed208644c47bd4e"},
    {"rotate:deg=2", "d35ab74f93761b34", "1b40e1fbd7bdfbfd", "fcafce371f10c4f9"},
    {"rotate:deg=5", "cec800a221b15673", "6fd573b65b660794", "7d8d845d13e56a86"},
    {"rotate:deg=10", "76d6f1beeae89a9c", "282bd4cbd1cf6b06", "c6b27b5d26580f0a"},
    {"rotate:deg=15", "c17a1a000616e8ec", "a0abdd4d439a863a", "278f96d7eca9e9de"},
    {"rotate:deg=30", "de72dc39ac091154", "ada23c492355418e", "6120328731afec1d"},
    {"rotate:deg=45", "587d3cda879f5ec1", "be29deb9942cc248", "aa9b99671cc0c7c5"},
    {"rotate:deg=90", "dbcf8a69a271e03a", "a2d1fc8a949ca828", "b19ddbf262072a53"},
    {"scale:f=0.5", "1758a9ac788c4f93", "ee51875d4354ce92", "3f388d281a3de673"},
    {"scale:f=0.75", "6ca0b285274552d7", "aba75b625077747b", "deb32320592f8299"},
    {"scale:f=0.9", "a850fd54c9df5a66", "b35cdec54e7aba81", "a5d5e61c16468b6a"},
    {"scale:f=1.1", "c320072cec950005", "091cbdf15ecf4284", "4d8a68877fc8bcd5"},
    {"scale:f=1.5", "6c2eda595c549fda", "7a28b41688462e08", "963d0d582cf32328"},
    {"scale:f=2", "903a0706a488f2c1", "6c2d5cf82c68df8f", "b9fe3e420b11a95a"},
    {"remove-rows:n=3", "19b5adbb0587da19", "267a4d6ca61fda42", "112763efc8b4596f"},
    {"remove-rows:n=6", "7af41b01e5323bcb", "97da6fe6fd83a6d9", "ba78ccdd9c5aee62"},
    {"remove-rows:n=13", "ef550e7eb15b4abc", "8dbe3b23f08f6976", "7daf98f764bc2a0c"},
    {"remove-rows:n=26", "8a8b70b9177dbb26", "98d2bb9ac9532b87", "7463f97f8a1b510f"},
    {"remove-cols:n=3", "61a6ae06de191f9e", "331386e45be0a976", "9f3b09c873cda649"},
    {"remove-cols:n=6", "86e449535f8baa61", "f90c0317995fc789", "a1d87845bc6f474a"},
    {"remove-cols:n=13", "9000621c36167095", "42c0403d5f0e4d3e", "2b962ba7ef9b35c4"},
    {"remove-cols:n=26", "d2a6b7501e186597", "84029274fa7b978e", "9574d4c94d17f44b"},
    {"crop:frac=0.01", "39517d52b68d8952", "1af3e8c1b3443e53", "1f9923dd94227cc8"},
    {"crop:frac=0.02", "cc96824f5f7d1720", "1c2a2c56a7010422", "9ce57272d4582dd6"},
    {"crop:frac=0.05", "ca2369f257d5a3f4", "eac584be1515bcbc", "57306545e7c0d823"},
    {"crop:frac=0.1", "ebe42954d3fa1ac3", "1f46b78e47c8b6ef", "01b400f2761ec07d"},
    {"crop:frac=0.15", "86a34dcf78ec77f5", "bdf3315eb2c63204", "3088b272c25d705e"},
    {"crop:frac=0.2", "173185f5a0cdbdef", "bd305e9e65facf5b", "5ce875da8c66e912"},
    {"crop:frac=0.25", "5b8ec4248de874c4", "73150b8691be37aa", "ea5cd133497b0176"},
    {"crop:frac=0.5", "89371746babd3925", "00b1eb1b6f9ecc8b", "047dd698fd5a7f45"},
    {"crop:frac=0.75", "2b7c852a08321003", "e00ce9dcf23a3a0a", "1cc8104ff0976672"},
    {"shift:dx=1", "eb2b799df38dd048", "9071e3315bf54c69", "e60da025c19e7ad7"},
    {"shift:dx=2", "2c1079bd2928a067", "b4301e91741a1d86", "07fb9609c797b587"},
    {"shift:dx=4", "ab1b0171a8e977d4", "647a6fcf1e584bad", "0431ca353640280d"},
    {"shift:dx=2,dy=2", "13a13753bfa509f2", "4e8e21d4fc4de47f", "73ca6443c5f77943"},
    {"brightness:d=-64", "bdf0733f9a9b5774", "f3ad2336de7931bb", "6394d8506dad5731"},
    {"brightness:d=-32", "46f6b7e06204c4a0", "c5c6f61c170d42a8", "2d4db9e4c63c5d96"},
    {"brightness:d=32", "c050c0d69f977118", "9adecdb9d77decb0", "9f5f9b81fc735a35"},
    {"brightness:d=64", "b87e481a73499937", "f9ea57d483cd4512", "3592580b5a477cfe"},
    {"contrast:c=0.5", "fd6365dc50e28e21", "5a3be33f7dc190f2", "df19f8a116462aa4"},
    {"contrast:c=0.75", "27a00931f581c9f2", "c023607c237f438c", "a043020e8b054bd5"},
    {"contrast:c=1.5", "ebc4d657fa662008", "d2d8a56a9adf4157", "00e590bfea7e3a89"},
    {"contrast:c=2", "14cee9b4657815a7", "33431ea0527513e1", "d61b43b152cb310d"},
    {"gamma:g=0.5", "3c93e7112c67e56c", "304309adf14d33bd", "954754500b9b56c5"},
    {"gamma:g=0.8", "2e16b89679f47712", "92a44d321307c4eb", "bd8dfcf877ccf1ef"},
    {"gamma:g=1.25", "1e2276751994a499", "35d1d1f46c4fb0d6", "89cba34a36742000"},
    {"gamma:g=2", "cc9df90ace41accc", "71e2109d62ad570b", "1f94e38b954820f5"},
    {"equalize", "7859155b558e7446", "0ae606bec2606f0f", "7215d704b3ab2028"},
    {"quantize:levels=8", "bfb7448cc096d05a", "cc0c5aa43e4e3ff3", "5d8d39bb68b91b49"},
    {"quantize:levels=16", "e4487c69d4a94396", "564969e6e4874dd3", "6374bf9865c95956"},
    {"quantize:levels=32", "a06ab45aaf44be6d", "084052d63325cc5a", "5ccf80fc0f3933f3"},
    {"scale:f=0.9+real-jpeg:q=75", "3fddc8836a141b11", "e1867147cb48c0fd", "5b6f8d0d7986be9f"},
    {"crop:frac=0.25+scale:f=0.75", "d1e0b1232c13370e", "c4395eab7227e0cb", "d7144ddd5363a9a3"},
    {"rotate:deg=2+real-jpeg:q=75", "117b67b10ab07d29", "a101391b4bc2e35e", "b1072206876d2fdf"},
    {"gauss-noise:sigma=5+real-jpeg:q=75", "bbb9ba2e5479029e", "63a643e9ad9729ae", "e4c10c3991257500"},
    {"brightness:d=32+contrast:c=1.5+real-jpeg:q=75", "01bd8a8f57320bdc", "1149da2af328efd4", "2d0a6d4a9162e27c"},
    {"jpeg:scale=0.01", "a79a2d3bd9daeba9", "03a38a92ee16cf5a", "80bb7959b921930a"},
    {"jpeg:scale=100", "2fa436b85cf3fad7", "19d45571e8aca546", "70c741c32d6255e3"},
    {"blur:passes=100", "ca3533d5c3e3881e", "6be1f1fa89c48d25", "9533ae4e2def46aa"},
    {"real-jpeg:q=1", "bca0b60efceac605", "0caccb2a7b0e4770", "f5d91a9f782f5542"},
    {"median:k=1", "99449ee99be4f8f0", "998137142ccf7392", "169f69b8853a79d4"},
    {"median:k=15", "8e7ff74ef839d3ee", "76df2d906d9ac055", "234ca3a24daed185"},
    {"gauss-noise:sigma=0", "99449ee99be4f8f0", "998137142ccf7392", "169f69b8853a79d4"},
    {"gauss-noise:sigma=255", "f211a37d5eee8f75", "7a892cdf7c23dfb0", "53bff49b8eab56ce"},
    {"salt-pepper:p=0", "99449ee99be4f8f0", "998137142ccf7392", "169f69b8853a79d4"},
    {"salt-pepper:p=1", "556db1da0d40872c", "e2063acc6c43ebbe", "fcba493d5ad28f7a"},
    {"sharpen:amount=0", "99449ee99be4f8f0", "998137142ccf7392", "169f69b8853a79d4"},
    {"sharpen:amount=10", "39b0ddb5a4bb3921", "9a792d28ccdabe39", "58f1f96e0b9e779c"},
    {"scale:f=0.1", "bc69bbb2f9ec9dc9", "d1ac0e20126fe274", "ffe47fe9e9c182d5"},
    {"scale:f=0.33", "66809843f2fe61f3", "669dcdf3d559e595", "bf17e60018d4b6c8"},
    {"scale:f=1", "99449ee99be4f8f0", "998137142ccf7392", "169f69b8853a79d4"},
    {"scale:f=3", "99449ee99be4f8f0", "998137142ccf7392", "169f69b8853a79d4"},
    {"scale:f=10", "6d03da28df274e17", "b7afdfb79137bf49", "5dc2d813f49fc069"},
    {"rotate:deg=-360", "99449ee99be4f8f0", "998137142ccf7392", "169f69b8853a79d4"},
    {"rotate:deg=-270", "dbcf8a69a271e03a", "a2d1fc8a949ca828", "b19ddbf262072a53"},
    {"rotate:deg=180", "830bbe6ce06eff75", "f655aa5fcd1a5803", "0eb46f32db5ebabf"},
    {"rotate:deg=360", "99449ee99be4f8f0", "998137142ccf7392", "169f69b8853a79d4"},
    {"rotate:deg=-33.3", "5ed807c8f789f304", "889564530923dc3d", "2aa24e23a107e9ab"},
    {"shift:dx=-256,dy=256", "ff6335069b6e140e", "7e1690ca5c701108", "9d5f3ab2ded4e53a"},
    {"shift:dx=-7,dy=5", "f9d2301788e469bc", "e1d40e66dd6b4508", "e6e1f0d3a5bb72ee"},
    {"remove-rows:n=0", "99449ee99be4f8f0", "998137142ccf7392", "169f69b8853a79d4"},
    {"remove-rows:n=1", "e6f32ba05547db28", "ae8bdbd13aa4f2b8", "2762c70bd06e6790"},
    {"remove-rows:n=127", "efb3e331ee7a7132", "6e0fc37096ce0d61", "1a7b6f3da4a9b7ac"},
    {"remove-rows:n=128", "6da48355618982cf", "6e0fc37096ce0d61", "1a7b6f3da4a9b7ac"},
    {"remove-cols:n=1", "09271a63af86832b", "dbff4424b3178135", "8841ceef42f73933"},
    {"remove-cols:n=128", "64f6447f5a6bd7b4", "095bae07414b0bb0", "43653d89318bf5c4"},
    {"crop:frac=0", "99449ee99be4f8f0", "998137142ccf7392", "169f69b8853a79d4"},
    {"crop:frac=1", "ff6335069b6e140e", "7e1690ca5c701108", "9d5f3ab2ded4e53a"},
    {"brightness:d=-255", "ff6335069b6e140e", "7e1690ca5c701108", "9d5f3ab2ded4e53a"},
    {"brightness:d=255", "181db90eb2e49ae2", "088bdd6a020f4185", "d7c8b0fd33760590"},
    {"contrast:c=0", "9d53f732ca3fd347", "2621666675f423e3", "8d3cda27b2d04db8"},
    {"contrast:c=10", "8ef17e1e3cd95a44", "b6408ea526124b91", "d54029b5467d661f"},
    {"gamma:g=0.05", "3b9507ad439d18dd", "94feac5571373ad1", "a4c65359729f4849"},
    {"gamma:g=20", "cb4e2a03a62c6386", "eb6ff80bfb5f7e38", "099bcbd6dba02987"},
    {"quantize:levels=2", "e6af1e70024efd4e", "4e6aa5a3f83a4b52", "0d476167605cd0f3"},
    {"quantize:levels=256", "99449ee99be4f8f0", "998137142ccf7392", "169f69b8853a79d4"},
    {"gaussian-blur:sigma=0.1", "99449ee99be4f8f0", "998137142ccf7392", "169f69b8853a79d4"},
    {"gaussian-blur:sigma=10", "4779d7469c11bc25", "065f701716e1453b", "3d2c8a62aca3a3db"},
    {"shift:dx=4+blur", "f6c173ddc5928b61", "ea460dfdd9af4f74", "7efbbe3b98c008ad"},
    {"crop-image-half+median:k=3", "9cf9a60f85245acb", "f515f60271b30598", "0f945b5e3458fe2b"},
    {"rotate:deg=3+jpeg", "8bd572ca593c8854", "680147cc5b39c46e", "cc02f98c7ed8b9f7"},
    {"gauss-noise:sigma=3+crop-image-quarter", "a41bffd7fafc6e1d", "185f218d2fdb35c9", "c622937ab16f9d00"},
    {"jpeg+blur+crop-zero-half", "9dd5aafa80ea3c99", "6478ec1324717045", "ffef1646ed646676"},
};

constexpr Pinned kNew[] = {
    {"random-bending", "e9aa2c0a20be8eea", "d28a825b2676b78d", "d3a48c2793bb75d9"},
    {"random-bending:s=0.5", "6df56265827d0bb6", "0af38b1bf09b44b7", "05a6b41d2cac47d9"},
    {"random-bending:s=2", "d8a5e0b95089c2c7", "6c53de24a96d5bb5", "d8a18b3df9891dc6"},
    {"random-bending:s=3", "09e719165f5fa2b9", "40b7a2f93cc49f63", "2efbc20ab576854b"},
    {"affine:a=1.01,b=0.013,c=0.009,d=1.011", "b75a6278fe249228", "25d1f359774dcdad", "9e0e106ab9bc3591"},
    {"affine:b=0.05", "993b1bc1bf12433f", "46da33febfe53389", "9de24c205977e11b"},
    {"affine:a=0.8,d=1.2", "af5e29e6a3ccb4c0", "44c8f60fc2fc1004", "5b9c7e0196e36681"},
    {"aspect:r=0.9", "5cce14c75fa36678", "33575266911c9b98", "cd213ca9faa3a54e"},
    {"aspect:r=1.2", "6134d1d1ff790651", "81a97fa55d9abe47", "263d7a61a8798143"},
    {"rotate-crop:deg=5", "a14f75d55a8a6472", "5ce89306692b13e2", "70b27ac968228c3d"},
    {"rotate-crop:deg=-2", "8f074547481e676d", "24ebde84533e2182", "72b30ebae0c71de4"},
    {"rotate-crop:deg=90", "dbcf8a69a271e03a", "5410f7f34853f204", "63fbf8966418e407"},
    {"rotate-scale:deg=5", "2a84ddbc6d5bc6a4", "c3a4f1f45183776e", "1693743c3dccdeff"},
    {"rotate-scale:deg=-2", "f36eb4ee67ce07c6", "d248f64419aec396", "b3259e7802ddb358"},
    {"rotate-scale:deg=90", "dbcf8a69a271e03a", "9d0c858befea0eb4", "c5acd024f4f9fdfc"},
    {"crop-resize:frac=0.1", "7df118ecfb326037", "93242790f496a55a", "bebae007dea0e754"},
    {"crop-resize:frac=0.2,x=0.25,y=0.75", "67fee48268bf520f", "ef41cce5c7fc3599", "ee1dbb32d992b402"},
    {"crop-resize:frac=0.5,x=0,y=1", "0c2b8bd39461a0a8", "6f14f7040e40b9f4", "fe84b0c417b686be"},
    {"print-scan", "fcb50f03af04168a", "1d50d7bae00b8419", "71e2f954623ec1c4"},
    {"print-scan:deg=-1,sigma=0,noise=0,g=0.8", "b4b598146ccacd04", "614cfff0264a2f6b", "5eacaef63cd5916d"},
    {"random-bending+real-jpeg:q=75", "e95f08f133c1692c", "215fa136a85b953b", "1d312ae31bb08c06"},
    {"crop-resize:frac=0.1+real-jpeg:q=75", "cefffd19072e9271", "5fa74c9c94acc543", "47fe78dc217332c6"},
};

void CheckTable(const char* list, std::span<const Pinned> table) {
    const std::vector<AttackCell> cells = ParseAttackCells(list);
    if (std::getenv("QF_PRINT_DIGESTS")) {
        for (const AttackCell& cell : cells)
            std::printf("    {\"%s\", \"%s\", \"%s\", \"%s\"},\n", cell.Name.c_str(), RegionDigest(cell).c_str(),
                        OddDigest(cell).c_str(), ColourDigest(cell).c_str());
        return;
    }
    ASSERT_EQ(cells.size(), table.size());
    for (std::size_t i = 0; i < cells.size(); ++i) {
        ASSERT_EQ(cells[i].Name, table[i].cell);
        EXPECT_EQ(RegionDigest(cells[i]), table[i].region) << cells[i].Name << " on the marked region";
        EXPECT_EQ(OddDigest(cells[i]), table[i].odd) << cells[i].Name << " on a gray picture of 203 x 157";
        EXPECT_EQ(ColourDigest(cells[i]), table[i].colour) << cells[i].Name << " on a colour picture";
    }
}

TEST(AttackDigests, TheCellsOfBeforeKeepTheirBytes) { CheckTable(kPinnedList, kPinned); }

TEST(AttackDigests, TheCellsAddedSinceKeepTheirBytes) { CheckTable(kNewList, kNew); }

TEST(AttackDigests, EveryVectorTargetGivesTheSameBytes) {
    // The workspace's quantisation runs the library's vector loops: the cells that reach it
    // give their pinned bytes on every target this machine runs.
    const char* cells[] = {"jpeg", "jpeg:scale=2", "rotate:deg=3+jpeg", "jpeg+blur+crop-zero-half",
                           "gauss-noise:sigma=5+real-jpeg:q=75"};
    test::ForEachVectorTarget([&](const std::string& target) {
        for (const char* name : cells) {
            const Pinned* row = nullptr;
            for (const Pinned& pinned : kPinned)
                if (std::string(pinned.cell) == name) row = &pinned;
            ASSERT_NE(row, nullptr) << name;
            const AttackCell cell = ParseAttackCells(name).front();
            EXPECT_EQ(RegionDigest(cell), row->region) << name << " on " << target;
            EXPECT_EQ(OddDigest(cell), row->odd) << name << " on " << target;
            EXPECT_EQ(ColourDigest(cell), row->colour) << name << " on " << target;
        }
    });
}

}  // namespace
}  // namespace quillfen
