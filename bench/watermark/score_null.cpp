// Where the verdict's built-in thresholds come from: the detection score of pictures that do
// not carry the key's mark, over the bundled hosts. For each host and seed 1..SEEDS the
// bundled mark is embedded, and the key then reads
//   - the unmarked host under every cell of the default attack grid (an unmarked copy that
//     went through an editor: the case NC cannot tell), and
//   - every other host's marked picture (a picture marked by someone else).
// It prints the null scores' spread, the empirical 1e-3 quantile, a normal fit's 1e-6 point,
// the highest null scores, and, with the thresholds in force, the share of marked pictures
// found after each attack family. Not a timing: it is run by hand (`score_null [SEEDS]`).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "io/pgm.h"
#include "watermark/attack_list.h"
#include "watermark/default_grid.h"
#include "watermark/marking.h"

namespace {

using namespace quillfen;

const char* const kHosts[] = {"astronaut", "brick",  "cell",  "chelsea", "clock",  "coffee",
                              "grass",     "gravel", "hubble-deep-field", "immunohistochemistry",
                              "retina",    "rocket"};

Bitmap Load(const std::string& path) {
    Bitmap bitmap;
    TRixPGM().LoadFromFile(path, bitmap);
    return bitmap;
}

struct Trial {
    double score;
    std::string what;
};

double Quantile(std::vector<double> values, double q) {
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(std::ceil(q * static_cast<double>(values.size()))) - 1;
    return values[std::min(index, values.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
    const int seeds = argc > 1 ? std::atoi(argv[1]) : 9;
    const std::string dir = QUILLFEN_SAMPLES_DIR;
    const Bitmap mark = Load(dir + "/seal-128.pgm");
    const std::vector<AttackCell> grid = DefaultAttackGrid();
    const Calibration thresholds = DefaultCalibration();

    std::vector<Trial> null;
    std::map<std::string, std::pair<int, int>> found;  // family of the cell -> (found, trials)
    for (int seed = 1; seed <= seeds; ++seed) {
        std::vector<MarkedHost> marked;
        std::vector<GrayPlane> hosts;
        for (const char* name : kHosts) {
            const Bitmap host = Load(dir + "/hosts/" + name + ".pgm");
            hosts.push_back(GrayOf(host));
            marked.push_back(EmbedIntoHost(host, mark, static_cast<std::uint32_t>(seed)));
        }
        for (std::size_t h = 0; h < hosts.size(); ++h) {
            const MarkKey& key = marked[h].Key;
            const std::vector<std::uint8_t>& x = hosts[h].pixels();
            const std::vector<double> xReal(x.begin(), x.end());
            const GrayPlane markedPlane = GrayOf(marked[h].Picture);
            const std::vector<std::uint8_t>& m = markedPlane.pixels();
            const std::vector<double> mReal(m.begin(), m.end());
            for (const AttackCell& cell : grid) {
                const AttackedPicture unmarked = ApplyAttackCell(cell, {x, x, xReal}, static_cast<std::uint64_t>(seed));
                null.push_back({ReadMark(GrayPlane(256, 256, unmarked.Bytes), key).Score.Value,
                                std::string(kHosts[h]) + " unmarked, " + cell.Name});
                const AttackedPicture attacked = ApplyAttackCell(cell, {x, m, mReal}, static_cast<std::uint64_t>(seed));
                const double score = ReadMark(GrayPlane(256, 256, attacked.Bytes), key).Score.Value;
                auto& [hits, trials] = found[cell.Name.substr(0, cell.Name.find_first_of(":+"))];
                hits += score >= thresholds.AtRate1e6 ? 1 : 0;
                ++trials;
            }
            for (std::size_t other = 0; other < hosts.size(); ++other)
                if (other != h)
                    null.push_back({ReadMark(GrayOf(marked[other].Picture), key).Score.Value,
                                    std::string(kHosts[h]) + " key on marked " + kHosts[other]});
        }
    }

    std::vector<double> scores;
    double sum = 0.0;
    for (const Trial& trial : null) {
        scores.push_back(trial.score);
        sum += trial.score;
    }
    const double n = static_cast<double>(scores.size());
    const double mean = sum / n;
    double squares = 0.0;
    for (const double s : scores) squares += (s - mean) * (s - mean);
    const double sd = std::sqrt(squares / (n - 1.0));
    std::printf("null trials: %zu (hosts %zu, seeds 1..%d)\n", scores.size(), std::size(kHosts), seeds);
    std::printf("mean %.5f  sd %.5f  max %.5f\n", mean, sd, *std::max_element(scores.begin(), scores.end()));
    std::printf("empirical quantile at 1 - 1e-3: %.5f\n", Quantile(scores, 1.0 - 1e-3));
    // One-sided normal point for 1e-6: mean + 4.753 sd.
    std::printf("normal fit, mean + 4.753 sd (1e-6): %.5f\n", mean + 4.753 * sd);
    std::sort(null.begin(), null.end(), [](const Trial& a, const Trial& b) { return a.score > b.score; });
    std::printf("highest null scores:\n");
    for (std::size_t i = 0; i < 12 && i < null.size(); ++i) std::printf("  %.5f  %s\n", null[i].score, null[i].what.c_str());
    std::printf("marked pictures found at %.3f, by attack:\n", thresholds.AtRate1e6);
    for (const auto& [attack, counts] : found)
        std::printf("  %-20s %5.1f %%\n", attack.c_str(), 100.0 * counts.first / counts.second);
    return 0;
}
