#include <gtest/gtest.h>

#include "image/errors.h"
#include "image/rix_ipa.h"
#include "tests/image/toolbox_images.h"

namespace quillfen {
namespace {

using test::Plane;

TEST(Hough, Placeholder) {}

}  // namespace
}  // namespace quillfen
