// GetWa: the watermark blocks with the most black pixels go to the host blocks with the
// highest variance.
#include <algorithm>
#include <numeric>

#include "watermark/watermark.h"

namespace quillfen {

namespace {

constexpr int kHost = TWatermark::kHostSize;
constexpr int kMark = TWatermark::kMarkSize;

int MarkBlockStart(int block) { return 4 * (block / 32) * kMark + 4 * (block % 32); }

}  // namespace

void TWatermark::GetWa() {
    Adapt(Wr, Wa);
    CountBlack(Wa);
    Display128 = Wa;
}

double TWatermark::BlockVariance(int block) const {
    const int top = 8 * (block / 32);
    const int left = 8 * (block % 32);
    double sum = 0;
    for (int x = 0; x < 8; ++x)
        for (int y = 0; y < 8; ++y) sum += X[(top + x) * kHost + left + y];
    const double mean = sum / 64;
    double squares = 0;
    for (int x = 0; x < 8; ++x)
        for (int y = 0; y < 8; ++y) {
            const double d = X[(top + x) * kHost + left + y] - mean;
            squares += d * d;
        }
    return squares / 64;
}

void TWatermark::Adapt(const Bytes& input, Bytes& output) {
    for (int k = 0; k < kBlocks; ++k) XBlockVar[k] = BlockVariance(k);
    for (int k = 0; k < kBlocks; ++k) {
        const int start = MarkBlockStart(k);
        int black = 0;
        for (int a = 0; a < 4; ++a)
            for (int b = 0; b < 4; ++b) black += input[start + a * kMark + b] < 128 ? 1 : 0;
        WrBlockWeight[k] = black;
    }
    if (Literal) {
        RankBlocksLiteral(XBlockVar, XBlockOrder);
        RankBlocksLiteral(WrBlockWeight, WrBlockOrder);
    } else {
        RankBlocks(XBlockVar, XBlockOrder);
        RankBlocks(WrBlockWeight, WrBlockOrder);
    }
    for (int i = 0; i < kBlocks; ++i) {
        const int from = MarkBlockStart(WrBlockOrder[i]);
        const int to = MarkBlockStart(XBlockOrder[i]);
        for (int a = 0; a < 4; ++a)
            for (int b = 0; b < 4; ++b) output[to + a * kMark + b] = input[from + a * kMark + b];
    }
}

// Repeated selection of the strictly greatest remaining value takes, at every rank, the
// greatest value and among equal ones the lowest index: the order of a stable sort by
// decreasing value.
void TWatermark::RankBlocks(const Reals& values, Orders& order) {
    std::iota(order.begin(), order.begin() + kBlocks, std::uint16_t{0});
    std::stable_sort(order.begin(), order.begin() + kBlocks,
                     [&values](std::uint16_t a, std::uint16_t b) { return values[a] > values[b]; });
}

void TWatermark::RankBlocksLiteral(const Reals& values, Orders& order) {
    std::vector<bool> ranked(kBlocks, false);
    for (int i = 0; i < kBlocks; ++i) {
        double best = -1;
        int choice = 0;
        for (int j = 0; j < kBlocks; ++j) {
            if (!ranked[j] && values[j] > best) {
                best = values[j];
                choice = j;
            }
        }
        order[i] = static_cast<std::uint16_t>(choice);
        ranked[choice] = true;
    }
}

}  // namespace quillfen
