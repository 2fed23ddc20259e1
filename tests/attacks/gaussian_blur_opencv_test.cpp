// The catalogue's Gaussian blur against OpenCV's (the library of the registration module): the
// same kernel radius and the same replicated border, within one gray level (OpenCV sums 8-bit
// pictures in fixed point, the attack in doubles).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include <opencv2/imgproc.hpp>

#include "quillfen/attacks/picture_attacks.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/watermark/marking.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

TEST(GaussianBlur, WithinOneGrayLevelOfOpenCv) {
    GrayPlane in = GrayOf(LoadPictureFile(test::SamplePath("hosts/gravel.pgm")).bitmap);
    const cv::Mat source(in.height(), in.width(), CV_8UC1, in.data());
    for (const double sigma : {0.5, 1.0, 1.5, 2.0, 3.0}) {
        cv::Mat expected;
        cv::GaussianBlur(source, expected, cv::Size(0, 0), sigma, sigma, cv::BORDER_REPLICATE);
        const GrayPlane blurred = GaussianBlur(in, sigma);
        int worst = 0;
        for (int y = 0; y < in.height(); ++y)
            for (int x = 0; x < in.width(); ++x)
                worst = std::max(worst, std::abs(blurred.at(x, y) - expected.at<std::uint8_t>(y, x)));
        EXPECT_LE(worst, 1) << "sigma " << sigma;
    }
}

}  // namespace
}  // namespace quillfen
