// The toolbox beside the comparable OpenCV calls, operation by operation, on the same
// 512 x 512 pictures: the photograph for the histogram tools and the thresholds, random gray
// for the filters and edge operators, a one-pixel spiral and 254 squares for labeling, the
// busy scene for the Hough transform. Prints one table: Quillfen / OpenCV / ratio.
//
// Each side is timed around the call alone (the CPU time of the thread, so that other work
// on the machine counts as little as it can), its result in new memory as a caller gets it:
// for the toolbox the command on a working image loaded afresh (so a threshold or the
// equalization counts the histogram itself, as OpenCV's do), for OpenCV the function into
// a new cv::Mat. Both run on one thread. OpenCV picks its own instruction set at start:
// run with OPENCV_CPU_DISABLE=AVX512F,AVX512-SKX beside QF_HWY_TARGET=AVX2 to measure an
// AVX2 machine (scripts/bench-compare.sh does).
//
// Where the two compute different things the table says what is compared: the toolbox's
// thresholds all against Otsu's (histogram and rule), contraction and expansion against
// erosion and dilation, the gradient operators against two filters, their absolute values
// and a saturating sum, labeling against another numbering, the Hough transform (Sobel
// edges, voting with gap closing, lines traced and drawn) against Sobel edges and
// HoughLines.
#include <benchmark/benchmark.h>

#include <ctime>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include "bench/bench_common.h"
#include "bench/bench_sample.h"
#include "bench/bench_targets.h"
#include "quillfen/image/vector_targets.h"

namespace quillfen::bench {
namespace {

// The CPU time of the calling thread, in seconds.
double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// A picture in both forms.
struct Picture {
    test::Plane plane;
    cv::Mat mat;
    explicit Picture(test::Plane p)
        : plane(std::move(p)), mat(plane.height, plane.width, CV_8UC1, plane.pixels.data()) {}
};

const Picture& Photo() {
    static const Picture p = [] {
        const GrayPlane& gray = CameraSample().Plane();
        test::Plane plane(gray.width(), gray.height());
        plane.pixels = gray.pixels();
        return Picture(plane);
    }();
    return p;
}
const Picture& Noise() {
    static const Picture p(Noise512());
    return p;
}
const Picture& Spiral() {
    static const Picture p(test::Spiral(512));
    return p;
}
const Picture& Squares() {
    static const Picture p(Squares512());
    return p;
}
const Picture& Busy() {
    static const Picture p(Busy512());
    return p;
}

// The toolbox command on the picture loaded afresh (untimed) into a working image.
void Quillfen(benchmark::State& state, const Picture& picture, const std::function<void(TRixIPA&)>& command) {
    TRixIPA ipa;
    for (auto _ : state) {
        ipa.LoadFromGray(picture.plane.width, picture.plane.height, picture.plane.pixels.data());
        const double start = ThreadSeconds();
        command(ipa);
        const double end = ThreadSeconds();
        benchmark::DoNotOptimize(ipa.GetImage().data());
        state.SetIterationTime(end - start);
    }
}

// The OpenCV call from the picture into a new matrix.
void OpenCv(benchmark::State& state, const Picture& picture, const std::function<void(const cv::Mat&, cv::Mat&)>& call) {
    for (auto _ : state) {
        cv::Mat result;
        const double start = ThreadSeconds();
        call(picture.mat, result);
        const double end = ThreadSeconds();
        benchmark::DoNotOptimize(result.data);
        state.SetIterationTime(end - start);
    }
}

// |A| + |B| saturated, of two 16-bit filter results: the shape of the toolbox's gradients.
void SumOfMagnitudes(const cv::Mat& a, const cv::Mat& b, cv::Mat& out) {
    cv::Mat absA, absB;
    cv::convertScaleAbs(a, absA);
    cv::convertScaleAbs(b, absB);
    cv::add(absA, absB, out);
}

void TwoFilters(const cv::Mat& in, cv::Mat& out, const cv::Mat& k1, const cv::Mat& k2) {
    cv::Mat a, b;
    cv::filter2D(in, a, CV_16S, k1);
    cv::filter2D(in, b, CV_16S, k2);
    SumOfMagnitudes(a, b, out);
}

void OneFilter(const cv::Mat& in, cv::Mat& out, const cv::Mat& k) {
    cv::Mat a;
    cv::filter2D(in, a, CV_16S, k);
    cv::convertScaleAbs(a, out);
}

cv::Mat Kernel(std::initializer_list<float> values) {
    cv::Mat k(3, 3, CV_32F);
    int i = 0;
    for (const float v : values) k.at<float>(i / 3, i % 3) = v, ++i;
    return k;
}

// One row of the table: the toolbox command and the OpenCV call it is set against.
struct Row {
    std::string operation;
    std::string call;
};
std::vector<Row>& Rows() {
    static std::vector<Row> rows;
    return rows;
}

void Compare(const std::string& operation, const Picture& picture, const std::function<void(TRixIPA&)>& command,
             const std::string& call, const std::function<void(const cv::Mat&, cv::Mat&)>& opencv) {
    Rows().push_back({operation, call});
    const auto least = [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); };
    benchmark::RegisterBenchmark(("quillfen/" + operation).c_str(),
                                 [&picture, command](benchmark::State& s) { Quillfen(s, picture, command); })
        ->UseManualTime()
        ->ComputeStatistics("min", least)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("opencv/" + operation).c_str(),
                                 [&picture, opencv](benchmark::State& s) { OpenCv(s, picture, opencv); })
        ->UseManualTime()
        ->ComputeStatistics("min", least)
        ->Unit(benchmark::kMicrosecond);
}

void RegisterAll() {
    const auto otsu = [](const cv::Mat& in, cv::Mat& out) { cv::threshold(in, out, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU); };
    const std::string otsuCall = "threshold (Otsu)";

    Compare("inverse", Noise(), [](TRixIPA& i) { i.Inverse(); }, "bitwise_not",
            [](const cv::Mat& in, cv::Mat& out) { cv::bitwise_not(in, out); });
    Compare("median 3x3", Noise(), [](TRixIPA& i) { i.NoiseMedian(); }, "medianBlur 3",
            [](const cv::Mat& in, cv::Mat& out) { cv::medianBlur(in, out, 3); });
    Compare("mean 3x3", Noise(), [](TRixIPA& i) { i.NoiseMean(); }, "blur 3x3",
            [](const cv::Mat& in, cv::Mat& out) { cv::blur(in, out, cv::Size(3, 3)); });
    Compare("contraction", Noise(), [](TRixIPA& i) { i.NoiseContraction(); }, "erode 3x3",
            [](const cv::Mat& in, cv::Mat& out) { cv::erode(in, out, cv::Mat()); });
    Compare("expansion", Noise(), [](TRixIPA& i) { i.NoiseExpansion(); }, "dilate 3x3",
            [](const cv::Mat& in, cv::Mat& out) { cv::dilate(in, out, cv::Mat()); });

    static const cv::Mat right = Kernel({0, 0, 0, 0, 1, -1, 0, 0, 0});
    static const cv::Mat below = Kernel({0, 0, 0, 0, 1, 0, 0, -1, 0});
    static const cv::Mat robertsA = Kernel({0, 0, -1, 0, 1, 0, 0, 0, 0});
    static const cv::Mat robertsB = Kernel({-1, 0, 0, 0, 1, 0, 0, 0, 0});
    static const cv::Mat prewittX = Kernel({1, 0, -1, 1, 0, -1, 1, 0, -1});
    static const cv::Mat prewittY = Kernel({-1, -1, -1, 0, 0, 0, 1, 1, 1});
    const float r2 = std::sqrt(2.0f);
    static const cv::Mat freiChenX = Kernel({1, 0, -1, r2, 0, -r2, 1, 0, -1});
    static const cv::Mat freiChenY = Kernel({-1, -r2, -1, 0, 0, 0, 1, r2, 1});
    static const cv::Mat laplacian2 = Kernel({-1, -1, -1, -1, 8, -1, -1, -1, -1});
    static const cv::Mat laplacian3 = Kernel({1, -2, 1, -2, 4, -2, 1, -2, 1});
    const std::string two = "2 x filter2D, |.| + |.|";
    Compare("edge general", Noise(), [](TRixIPA& i) { i.EdgeGeneral(3.0); }, two,
            [](const cv::Mat& in, cv::Mat& out) { TwoFilters(in, out, right, below); });
    Compare("edge general vertical", Noise(), [](TRixIPA& i) { i.EdgeGeneralVertical(3.0); }, "filter2D, |.|",
            [](const cv::Mat& in, cv::Mat& out) { OneFilter(in, out, right); });
    Compare("edge general horizontal", Noise(), [](TRixIPA& i) { i.EdgeGeneralHorizontal(3.0); }, "filter2D, |.|",
            [](const cv::Mat& in, cv::Mat& out) { OneFilter(in, out, below); });
    Compare("edge Roberts", Noise(), [](TRixIPA& i) { i.EdgeRoberts(1.0); }, two,
            [](const cv::Mat& in, cv::Mat& out) { TwoFilters(in, out, robertsA, robertsB); });
    Compare("edge Prewitt", Noise(), [](TRixIPA& i) { i.EdgePrewitt(1.0); }, two,
            [](const cv::Mat& in, cv::Mat& out) { TwoFilters(in, out, prewittX, prewittY); });
    Compare("edge Sobel", Noise(), [](TRixIPA& i) { i.EdgeSobel(1.0); }, "2 x Sobel, |.| + |.|",
            [](const cv::Mat& in, cv::Mat& out) {
                cv::Mat a, b;
                cv::Sobel(in, a, CV_16S, 1, 0);
                cv::Sobel(in, b, CV_16S, 0, 1);
                SumOfMagnitudes(a, b, out);
            });
    Compare("edge Frei-Chen", Noise(), [](TRixIPA& i) { i.EdgeFreiChen(1.0); }, "2 x filter2D (float), |.| + |.|",
            [](const cv::Mat& in, cv::Mat& out) {
                cv::Mat a, b;
                cv::filter2D(in, a, CV_32F, freiChenX);
                cv::filter2D(in, b, CV_32F, freiChenY);
                cv::Mat sum = cv::abs(a) + cv::abs(b);
                sum.convertTo(out, CV_8U);
            });
    Compare("edge Laplacian 1", Noise(), [](TRixIPA& i) { i.EdgeLaplacian1(); }, "Laplacian, |.|",
            [](const cv::Mat& in, cv::Mat& out) {
                cv::Mat a;
                cv::Laplacian(in, a, CV_16S, 1);
                cv::convertScaleAbs(a, out);
            });
    Compare("edge Laplacian 2", Noise(), [](TRixIPA& i) { i.EdgeLaplacian2(); }, "filter2D, |.|",
            [](const cv::Mat& in, cv::Mat& out) { OneFilter(in, out, laplacian2); });
    Compare("edge Laplacian 3", Noise(), [](TRixIPA& i) { i.EdgeLaplacian3(); }, "filter2D, |.|",
            [](const cv::Mat& in, cv::Mat& out) { OneFilter(in, out, laplacian3); });

    Compare("equalize", Photo(), [](TRixIPA& i) { i.Equalize(); }, "equalizeHist",
            [](const cv::Mat& in, cv::Mat& out) { cv::equalizeHist(in, out); });
    Compare("auto contrast stretch", Photo(),
            [](TRixIPA& i) {
                std::uint8_t low, high;
                i.AutoContrastStretch(low, high);
            },
            "normalize (min-max)", [](const cv::Mat& in, cv::Mat& out) { cv::normalize(in, out, 0, 255, cv::NORM_MINMAX); });

    const std::vector<std::pair<std::string, std::function<void(TRixIPA&)>>> thresholds = {
        {"threshold mean", [](TRixIPA& i) { i.ThresholdByMean(); }},
        {"threshold P-tile", [](TRixIPA& i) { i.ThresholdByPTile(50); }},
        {"threshold two peaks", [](TRixIPA& i) { i.ThresholdByTwoPeaks(); }},
        {"threshold Laplacian", [](TRixIPA& i) { i.ThresholdByLaplacian(85); }},
        {"threshold iterative", [](TRixIPA& i) { i.ThresholdByIterativeSelection(); }},
        {"threshold gray level (Otsu)", [](TRixIPA& i) { i.ThresholdByGrayLevelHistogram(); }},
        {"threshold Johannsen", [](TRixIPA& i) { i.ThresholdByJohannsen(); }},
        {"threshold Kapur", [](TRixIPA& i) { i.ThresholdByKapur(); }},
        {"threshold Pun", [](TRixIPA& i) { i.ThresholdByPun(); }},
        {"threshold fuzzy Shannon", [](TRixIPA& i) { i.ThresholdByFuzzyShannon(); }},
        {"threshold fuzzy Yager", [](TRixIPA& i) { i.ThresholdByFuzzyYager(); }},
        {"threshold minimum error", [](TRixIPA& i) { i.ThresholdByMinimumError(); }},
        {"threshold moving average", [](TRixIPA& i) { i.ThresholdByMovingAverage(); }},
    };
    for (const auto& [name, command] : thresholds) Compare(name, Photo(), command, otsuCall, otsu);

    const auto components = [](const cv::Mat& in, cv::Mat& out) { cv::connectedComponents(in, out, 8, CV_32S); };
    Compare("labeling, spiral", Spiral(), [](TRixIPA& i) { i.Labeling(); }, "connectedComponents 8", components);
    Compare("labeling, 254 squares", Squares(), [](TRixIPA& i) { i.Labeling(); }, "connectedComponents 8", components);

    Compare("Hough, busy picture", Busy(), [](TRixIPA& i) { i.HoughTransform(360, 300, 10, 10, 200, false); },
            "Sobel edges + HoughLines", [](const cv::Mat& in, cv::Mat& out) {
                // The toolbox's edges: |(Sx, Sy)| / 8 > 10; 300 distance cells over the
                // diagonal, one-degree angles, more than 200 votes.
                cv::Mat gx, gy, magnitude;
                cv::Sobel(in, gx, CV_32F, 1, 0);
                cv::Sobel(in, gy, CV_32F, 0, 1);
                cv::magnitude(gx, gy, magnitude);
                cv::compare(magnitude, 80.0, out, cv::CMP_GT);
                std::vector<cv::Vec2f> lines;
                cv::HoughLines(out, lines, std::hypot(in.cols, in.rows) / 300, CV_PI / 180, 200);
                benchmark::DoNotOptimize(lines.data());
            });
}

// Keeps the least of each benchmark's repetitions (on a shared machine the truest) and
// prints nothing but a dot per run; the table comes at the end.
class TableReporter : public benchmark::BenchmarkReporter {
public:
    bool ReportContext(const Context&) override { return true; }
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "min") continue;
            if (run.run_type == Run::RT_Iteration && run.repetitions > 1) continue;
            // Microseconds: every benchmark here reports in them.
            microseconds_[run.run_name.function_name] = run.GetAdjustedRealTime();
        }
        std::fputc('.', stderr);
    }
    void Finalize() override {
        std::fputc('\n', stderr);
        std::printf("CPU time of one call (microseconds), the least of the repetitions\n");
        std::printf("%-30s %10s %10s %7s  %s\n", "operation", "Quillfen", "OpenCV", "ratio", "OpenCV call");
        for (const Row& row : Rows()) {
            const double ours = Time("quillfen/" + row.operation);
            const double theirs = Time("opencv/" + row.operation);
            if (ours < 0 || theirs < 0) continue;  // filtered out
            std::printf("%-30s %10.1f %10.1f %7.2f  %s\n", row.operation.c_str(), ours, theirs, ours / theirs,
                        row.call.c_str());
        }
    }

private:
    double Time(const std::string& name) const {
        const auto it = microseconds_.find(name);
        return it == microseconds_.end() ? -1 : it->second;
    }
    std::map<std::string, double> microseconds_;
};

}  // namespace
}  // namespace quillfen::bench

int main(int argc, char** argv) {
    if (!quillfen::bench::ChooseVectorTarget()) return 1;
    cv::setNumThreads(1);
    std::printf("OpenCV %s, one thread, instruction sets in use: %s%s\n", CV_VERSION,
                cv::checkHardwareSupport(CV_CPU_AVX2) ? "AVX2" : "below AVX2",
                cv::checkHardwareSupport(CV_CPU_AVX512_SKX) ? " and AVX-512" : " (no AVX-512)");
    std::printf("Quillfen: one thread, vector loops on %s\n", quillfen::vector_targets::Active().c_str());
    std::fflush(stdout);
    quillfen::bench::RegisterAll();
    // Five repetitions, the least reported, unless told otherwise.
    std::vector<char*> args(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=5";
    std::string minTime = "--benchmark_min_time=0.1";
    bool hasRepetitions = false, hasMinTime = false;
    for (int i = 1; i < argc; ++i) {
        hasRepetitions = hasRepetitions || std::string(argv[i]).rfind("--benchmark_repetitions", 0) == 0;
        hasMinTime = hasMinTime || std::string(argv[i]).rfind("--benchmark_min_time", 0) == 0;
    }
    if (!hasRepetitions) args.push_back(repetitions.data());
    if (!hasMinTime) args.push_back(minTime.data());
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
    quillfen::bench::TableReporter table;
    benchmark::RunSpecifiedBenchmarks(&table);
    benchmark::Shutdown();
    return 0;
}
