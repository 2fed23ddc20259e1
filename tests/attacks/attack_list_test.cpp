// Attack lists as the command line writes them: what they expand to, what each cell is
// called, and the one-line refusals.
#include "quillfen/attacks/attack_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quillfen/image/errors.h"

namespace quillfen {
namespace {

std::vector<std::string> Names(const std::vector<AttackCell>& cells) {
    std::vector<std::string> names;
    for (const AttackCell& cell : cells) names.push_back(cell.Name);
    return names;
}

std::string ErrorOf(const std::string& text) {
    try {
        ParseAttackCells(text);
    } catch (const ArgumentError& e) {
        return e.what();
    }
    return "(accepted)";
}

TEST(ParseAttackCells, ExpandsListsRangesAndCombinationsInOrder) {
    struct Case {
        std::string text;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"real-jpeg:q=50", {"real-jpeg:q=50"}},
        {"real-jpeg:q=10..50:10",
         {"real-jpeg:q=10", "real-jpeg:q=20", "real-jpeg:q=30", "real-jpeg:q=40", "real-jpeg:q=50"}},
        {"real-jpeg:q=90..50:-20", {"real-jpeg:q=90", "real-jpeg:q=70", "real-jpeg:q=50"}},
        {"median:k=3,5,7", {"median:k=3", "median:k=5", "median:k=7"}},
        {"real-jpeg:q=50,median:k=3,5,7,none",
         {"real-jpeg:q=50", "median:k=3", "median:k=5", "median:k=7", "none"}},
        {"shift:dx=2,dy=-3", {"shift:dx=2,dy=-3"}},
        {"shift:dy=-3,dx=2.0", {"shift:dx=2,dy=-3"}},  // catalogue order, shortest numbers
        {"shift:dx=1,2,dy=3,4", {"shift:dx=1,dy=3", "shift:dx=1,dy=4", "shift:dx=2,dy=3", "shift:dx=2,dy=4"}},
        {"shift:dy=5", {"shift:dy=5"}},
        {"scale:f=0.9+real-jpeg:q=75", {"scale:f=0.9+real-jpeg:q=75"}},
        {"scale:f=0.9,1.1+real-jpeg:q=50,75",
         {"scale:f=0.9+real-jpeg:q=50", "scale:f=0.9+real-jpeg:q=75", "scale:f=1.1+real-jpeg:q=50",
          "scale:f=1.1+real-jpeg:q=75"}},
        {"jpeg:scale=0.5..1.5:0.5", {"jpeg", "jpeg:scale=1", "jpeg:scale=1.5"}},
        {"blur:passes=1,2", {"blur", "blur:passes=2"}},
        {"none,jpeg,blur,crop-zero-quarter,crop-image-quarter,crop-zero-half,crop-image-half",
         {"none", "jpeg", "blur", "crop-zero-quarter", "crop-image-quarter", "crop-zero-half", "crop-image-half"}},
        {"crop:frac=0.1..0.3:0.1", {"crop:frac=0.1", "crop:frac=0.2", "crop:frac=0.3"}},
        {"rotate:deg=-0.5..0.5:0.25",
         {"rotate:deg=-0.5", "rotate:deg=-0.25", "rotate:deg=0", "rotate:deg=0.25", "rotate:deg=0.5"}},
        {"rotate:deg=-0", {"rotate:deg=0"}},
        {("brightness:d=0." + std::string(400, '0') + "1"), {"brightness:d=0"}},
        {"gauss-noise:sigma=.5,007", {"gauss-noise:sigma=0.5", "gauss-noise:sigma=7"}},
        {" median : k = 3 , 5 , equalize + quantize:levels=4 ",
         {"median:k=3", "median:k=5", "equalize+quantize:levels=4"}},
        {"contrast:c=2,brightness:d=-10", {"contrast:c=2", "brightness:d=-10"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Names(ParseAttackCells(c.text)), c.names);
    }
}

TEST(ParseAttackCells, RangesAreExpandedOnDecimalDigits) {
    // Adding 0.1 five times in doubles gives 0.30000000000000004 on the way; the range must
    // give the same doubles as the values typed out.
    const std::vector<AttackCell> range = ParseAttackCells("crop:frac=0.1..0.5:0.1");
    const std::vector<AttackCell> typed = ParseAttackCells("crop:frac=0.1,0.2,0.3,0.4,0.5");
    EXPECT_EQ(range, typed);
    EXPECT_EQ(range[2].Steps[0].Values[0], 0.3);
}

TEST(ParseAttackCells, CellsCarryEveryParameterValueWithDefaults) {
    const std::vector<AttackCell> cells = ParseAttackCells("shift:dy=4+jpeg,blur");
    ASSERT_EQ(cells.size(), 2u);
    ASSERT_EQ(cells[0].Steps.size(), 2u);
    EXPECT_EQ(cells[0].Steps[0], (AttackStep{AttackId::Shift, {0.0, 4.0}}));
    EXPECT_EQ(cells[0].Steps[1], (AttackStep{AttackId::Jpeg, {0.5}}));
    EXPECT_EQ(cells[1].Steps[0], (AttackStep{AttackId::Blur, {1.0}}));
}

TEST(ParseAttackCells, CanonicalNamesParseBackToTheSameCells) {
    const char* lists[] = {
        "shift:dy=-3,dx=2.00,scale:f=0.90+real-jpeg:q=075",
        "jpeg:scale=0.25..2:0.25,blur:passes=1..4",
        "rotate:deg=-45..45:7.5+crop:frac=0.125",
        "gamma:g=0.333333,brightness:d=-0.000001",
    };
    for (const char* list : lists) {
        SCOPED_TRACE(list);
        for (const AttackCell& cell : ParseAttackCells(list)) {
            const std::vector<AttackCell> again = ParseAttackCells(cell.Name);
            ASSERT_EQ(again.size(), 1u);
            EXPECT_EQ(again[0], cell);
        }
    }
}

TEST(ParseAttackCells, RefusesBadListsWithOneLineNamingEntryValueAndRange) {
    struct Case {
        std::string text;
        const char* message;
    };
    const Case cases[] = {
        {"", "bad attack list '': no attack given at character 1"},
        {"fog:q=1", "attack 'fog:q=1': unknown attack 'fog' (known: none, jpeg, blur,"},
        {"real-jpeg:quality=50", "attack 'real-jpeg:quality=50': real-jpeg has no parameter 'quality' (it takes q)"},
        {"none:q=1", "attack 'none:q=1': none has no parameter 'q' (it takes no parameter)"},
        // A slip is answered with the names it may have meant, and the workspace's JPEG-style
        // quantisation with the codec that has a quality, saying which is which.
        {"jpg", "attack 'jpg': unknown attack 'jpg', did you mean 'jpeg'? (known: none, jpeg,"},
        {"jpg:q=50", "attack 'jpg:q=50': unknown attack 'jpg', did you mean 'real-jpeg' or 'jpeg'? (known: none,"},
        {"gaussian-noise:sigma=2", "unknown attack 'gaussian-noise', did you mean 'gauss-noise'? (known:"},
        {"jpeg:q=50",
         "attack 'jpeg:q=50': jpeg has no parameter 'q' (it takes scale); did you mean 'real-jpeg:q=50'? jpeg is "
         "the workspace's JPEG-style quantisation of the 8 x 8 block DCT; real-jpeg is a baseline JPEG file made "
         "and decoded by libjpeg-turbo (gray; colour as YCbCr 4:2:0) (q: JPEG quality)"},
        {"blur:sigma=1,2", "blur has no parameter 'sigma' (it takes passes); did you mean 'gaussian-blur:sigma=1,2'?"},
        {"shift:dz=3", "attack 'shift:dz=3': shift has no parameter 'dz' (it takes dx, dy); did you mean 'dx' or 'dy'?"},
        {"real-jpeg", "attack 'real-jpeg': real-jpeg needs parameter q (whole numbers 1..100)"},
        {"scale:f=0.9+real-jpeg", "attack 'scale:f=0.9+real-jpeg': real-jpeg needs parameter q"},
        {"real-jpeg:q=0..90:10", "attack 'real-jpeg:q=0..90:10': q=0 is out of range (accepted: whole numbers 1..100)"},
        {"real-jpeg:q=101", "q=101 is out of range (accepted: whole numbers 1..100)"},
        {"real-jpeg:q=10..90:0", "attack 'real-jpeg:q=10..90:0': q=10..90:0 has a zero step"},
        {"real-jpeg:q=90..10:10", "q=90..10:10 is empty: a step of 10 never goes from 90 to 10"},
        {"real-jpeg:q=10..90:-10", "q=10..90:-10 is empty: a step of -10 never goes from 10 to 90"},
        {"real-jpeg:q=10..95:10", "q=10..95:10 does not end on 95 (steps of 10 from 10)"},
        {"real-jpeg:q=50.5", "q=50.5 is not a whole number (accepted: whole numbers 1..100)"},
        {"median:k=4", "attack 'median:k=4': k=4 is not odd (accepted: odd whole numbers 1..15)"},
        {"median:k=3..7", "k=4 is not odd"},
        {"salt-pepper:p=1.5", "p=1.5 is out of range (accepted: 0..1)"},
        {"gauss-noise:sigma=-1", "sigma=-1 is out of range (accepted: 0..255)"},
        {"scale:f=0", "f=0 is out of range (accepted: 0.1..10)"},
        {"shift:dx=1,dx=2", "attack 'shift:dx=1,dx=2': parameter dx of shift is given twice"},
        {"real-jpeg:q=1..100000:1", "q=100000 is out of range"},
        {("brightness:d=1" + std::string(400, '0')), "is out of range (accepted: -255..255)"},
        {"crop:frac=0.1234567..0.2", "range bounds and steps need at most 6 decimals"},
        {"median:k=3,3", "attack 'median:k=3' is listed twice (by 'median:k=3,3')"},
        {"median:k=3,median:k=1..5:2", "attack 'median:k=3' is listed twice (by 'median:k=3' and 'median:k=1..5:2')"},
        {"jpeg,jpeg:scale=0.5", "attack 'jpeg' is listed twice"},
        {"real-jpeg:q=", "bad attack list 'real-jpeg:q=': expected a number for 'q' at character 13"},
        {"real-jpeg:q=+5", "expected a number for 'q' at character 13"},
        {"real-jpeg:q=5e1", "unexpected 'e' at character 14"},
        {"real-jpeg:q50", "expected '=' after the parameter name 'q50'"},
        {"none,", "expected an attack after the last ','"},
        {"none,5", "expected an attack name at character 6"},
        {"none+", "expected an attack name at character 6"},
        {"median:k=3,,5", "expected an attack name"},
        {"none;blur", "unexpected ';' at character 5"},
        {"real-jpeg:", "expected a parameter name after 'real-jpeg:'"},
        {"real-jpeg:q=10...90", "q=10..90 or q=10..90:10 (first..last:step) at character 17"},
        // Out of range as written, though the nearest double is in range.
        {"rotate:deg=360.0000000000000000000001",
         "deg=360.0000000000000000000001 is out of range (accepted: -360..360)"},
        {"rotate:deg=-360.0000000000000000000001", "is out of range (accepted: -360..360)"},
        {"real-jpeg:q=50.0000001", "q=50.0000001 is not a whole number (accepted: whole numbers 1..100)"},
        {"blur+blur+blur+blur+blur+blur+blur+blur+blur", "combines 9 attacks; a cell combines at most 8"},
        {"blur:passes=60+median:k=3+blur:passes=2,41",
         "blurs up to 101 passes in one cell; a cell blurs at most 100 passes in all"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string message = ErrorOf(c.text);
        EXPECT_NE(message.find(c.message), std::string::npos) << message;
        EXPECT_EQ(message.find('\n'), std::string::npos);
    }
}

TEST(ParseAttackCells, RefusesListsBeyondTheCellLimit) {
    // 10 x 10 x 10 x 10 x 11 cells in one entry, before any of them is made.
    const std::string message =
        ErrorOf("shift:dx=1..10,dy=1..10+shift:dx=1..10,dy=1..10+rotate:deg=0..10");
    EXPECT_NE(message.find("gives more than 100000 cells"), std::string::npos) << message;
}

TEST(FormatAttackNumber, ShortestFixedForm) {
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {{50, "50"},       {0.9, "0.9"},   {-0.25, "-0.25"},    {-0.0, "0"},
                          {1e-6, "0.000001"}, {256, "256"}, {0.1 + 0.2, "0.30000000000000004"}};
    for (const Case& c : cases) EXPECT_EQ(FormatAttackNumber(c.value), c.text) << c.text;
}

}  // namespace
}  // namespace quillfen
