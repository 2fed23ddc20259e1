#include "quillfen/image/number_format.h"

#include <gtest/gtest.h>

#include "quillfen/image/errors.h"

namespace quillfen {
namespace {

TEST(NumberFormat, FixedUsesExactBinaryValueAndTiesToEven) {
    EXPECT_EQ(FormatFixed(127.53, 2), "127.53");
    EXPECT_EQ(FormatFixed(0.125, 2), "0.12");   // exact tie, to even
    EXPECT_EQ(FormatFixed(0.375, 2), "0.38");   // exact tie, to even
    EXPECT_EQ(FormatFixed(2.675, 2), "2.67");   // 2.67499999... in binary
    EXPECT_EQ(FormatFixed(96.295596, 5), "96.29560");
    EXPECT_EQ(FormatFixed(1.0, 5), "1.00000");
    EXPECT_EQ(FormatFixed(0.0, 2), "0.00");
}

TEST(NumberFormat, NoLeadingZeroPattern) {
    EXPECT_EQ(FormatNoLeadingZero(0.0, 2), ".00");
    EXPECT_EQ(FormatNoLeadingZero(0.5, 2), ".50");
    EXPECT_EQ(FormatNoLeadingZero(127.5, 2), "127.50");
}

TEST(NumberFormat, ParseIntAcceptsLeadingBlanksAndASign) {
    EXPECT_EQ(ParseInt("256"), 256);
    EXPECT_EQ(ParseInt("  256"), 256);
    EXPECT_EQ(ParseInt("-7"), -7);
    EXPECT_EQ(ParseInt("+7"), 7);
    EXPECT_EQ(ParseInt("2147483647"), 2147483647);
    EXPECT_EQ(ParseInt("-2147483648"), -2147483647 - 1);
}

TEST(NumberFormat, ParseIntRefusesWithTheConversionMessage) {
    for (const char* text : {"", " ", "256\r", "256 ", "2x", "abc", "2147483648", "99999999999999999999", "-"}) {
        try {
            ParseInt(text);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const ConvertError& e) {
            EXPECT_EQ(std::string(e.what()), "'" + std::string(text) + "' is not a valid integer value");
        }
    }
}

}  // namespace
}  // namespace quillfen
