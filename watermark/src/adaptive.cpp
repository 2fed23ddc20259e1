// GetWa: the watermark blocks with the most black pixels go to the host blocks with the
// highest variance.
#include <algorithm>
#include <numeric>

#include "quillfen/watermark/watermark.h"

namespace quillfen {

namespace {

constexpr int kHost = TWatermark::kHostSize;
constexpr int kMark = TWatermark::kMarkSize;

}  // namespace

void TWatermark::GetWa() {
    Adapt(Wr_, Wa_);
    CountBlack(Wa_);
    if (!ResultsOnly) Display128_ = Wa_;
}

double TWatermark::BlockVariance(int block) const {
    const int start = HostBlockStart(block);
    double sum = 0;
    for (int x = 0; x < 8; ++x)
        for (int y = 0; y < 8; ++y) sum += X_[start + x * kHost + y];
    const double mean = sum / 64;
    double squares = 0;
    for (int x = 0; x < 8; ++x)
        for (int y = 0; y < 8; ++y) {
            const double d = X_[start + x * kHost + y] - mean;
            squares += d * d;
        }
    return squares / 64;
}

void TWatermark::Adapt(const Bytes& input, Bytes& output) {
    for (int k = 0; k < kBlocks; ++k) XBlockVar_[k] = BlockVariance(k);
    for (int k = 0; k < kBlocks; ++k) {
        const int start = MarkBlockStart(k);
        int black = 0;
        for (int a = 0; a < 4; ++a)
            for (int b = 0; b < 4; ++b) black += input[start + a * kMark + b] < 128 ? 1 : 0;
        WrBlockWeight_[k] = black;
    }
    if (Literal) {
        RankBlocksLiteral(XBlockVar_, XBlockOrder_);
        RankBlocksLiteral(WrBlockWeight_, WrBlockOrder_);
    } else {
        RankBlocks(XBlockVar_, XBlockOrder_);
        RankBlocks(WrBlockWeight_, WrBlockOrder_);
    }
    MoveMarkBlocks(input, WrBlockOrder_, output, XBlockOrder_);
}

void TWatermark::MoveMarkBlocks(const Bytes& input, const Orders& from, Bytes& output, const Orders& to) {
    for (int i = 0; i < kBlocks; ++i) {
        const int source = MarkBlockStart(from[i]);
        const int target = MarkBlockStart(to[i]);
        for (int a = 0; a < 4; ++a)
            for (int b = 0; b < 4; ++b) output[target + a * kMark + b] = input[source + a * kMark + b];
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
