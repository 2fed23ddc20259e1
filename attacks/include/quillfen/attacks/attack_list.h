#pragma once
// Attack lists as the command line writes them, their expansion into cells, and the
// canonical name of a cell.
//
//   list      := entry { "," entry }
//   entry     := step { "+" step }                   a combination, applied left to right
//   step      := attack [ ":" parameter { "," parameter } ]
//   parameter := name "=" item { "," item }
//   item      := number | number ".." number [ ":" step ]   an inclusive range
//   number    := [ "-" ] digits [ "." digits ] | [ "-" ] "." digits
//
// Examples: "real-jpeg:q=50", "real-jpeg:q=10..90:10", "median:k=3,5,7", "shift:dx=2,dy=-3",
// "scale:f=0.9+real-jpeg:q=75", and lists of these: "real-jpeg:q=50,median:k=3,5,7,none".
//
// A comma separates list values, parameters and entries alike; what follows it decides which:
//   - a number (it starts with a digit, "-" or ".") continues the value list of the last
//     parameter;
//   - a name directly followed by "=" starts another parameter of the same attack;
//   - anything else (an attack name) starts the next entry.
// Numbers carry no "+" sign and no exponent, so "+" only ever joins a combination. Blanks
// around the punctuation are ignored.
//
// A range's step is optional (1, or -1 when the range goes down) and must lead from the first
// bound to the second in whole steps: "10..90:10" gives 10, 20, ..., 90, "90..10:-20" gives 90,
// 70, 50, 30, 10; "10..95:10" is refused rather than silently stopping at 90. Range bounds
// and steps have at most 6 decimals; every value is read from its decimal text, so
// "0.1..0.5:0.1" gives exactly the doubles of "0.1,0.2,0.3,0.4,0.5".
//
// Expansion: entries in the order written; within an entry, the cross product of the value lists
// of its steps' parameters, taken step by step from the left and within a step in catalogue
// order, the last list varying fastest: "scale:f=0.9,1.1+real-jpeg:q=50,75" gives
// scale 0.9 with q 50, 0.9 with 75, 1.1 with 50, 1.1 with 75. A parameter left out takes its
// default value.
//
// Canonical name: the steps joined by "+", each step its attack name followed, when any
// parameter differs from its default, by ":" and those parameters as "name=value" in
// catalogue order, joined by ","; values in their shortest decimal form. So a cell is named
// the same however it was written ("shift:dy=-3,dx=2.0" is "shift:dx=2,dy=-3", "jpeg:scale=0.5"
// is "jpeg"), and the name parses back to the same cell.
//
// Every error is found before anything runs and thrown as one ArgumentError line naming the
// entry, the value and what is accepted: syntax, unknown attack or parameter, a parameter
// given twice or missing, a zero or wrongly signed step, a range that misses its end, a value
// out of range as written (360.0000000000000000001 is above 360, though it reads as the
// double 360), a cell listed twice, more than kMaxAttackCells cells, or a cell of more work
// than one row should take: more than kMaxCellSteps attacks, or more than kMaxCellBlurPasses
// blur passes in all.
#include <string>
#include <string_view>
#include <vector>

#include "quillfen/attacks/attack_catalogue.h"
#include "quillfen/image/export.h"

QUILLFEN_API_BEGIN
namespace quillfen {

inline constexpr std::size_t kMaxAttackCells = 100000;
inline constexpr std::size_t kMaxRangeValues = 10000;
inline constexpr std::size_t kMaxCellSteps = 8;
inline constexpr double kMaxCellBlurPasses = 100;

// Parses and expands a list into cells, in the order described above.
QUILLFEN_EXPORT std::vector<AttackCell> ParseAttackCells(std::string_view text);

// The canonical name of a cell made of these steps (their values must be accepted ones).
QUILLFEN_EXPORT std::string CanonicalAttackName(const std::vector<AttackStep>& steps);

// Numbers in attack names are written as every parameter value is (parameters.h).
inline std::string FormatAttackNumber(double value) { return FormatNumber(value); }

}  // namespace quillfen
QUILLFEN_API_END
