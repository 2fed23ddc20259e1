// The texts the libraries below give the windows to show: the toolbox catalogue's captions,
// submenus, input boxes and reports. The libraries stay free of Qt and never translate; the
// windows look each text up under its context ("Toolbox") when they show it. Listed here so
// that the translation tools find them; a window test checks that every text the catalogue
// gives has its translation.
#include <QtGlobal>

namespace quillfen::ui {
namespace {

[[maybe_unused]] const char* const kToolboxTexts[] = {
    QT_TRANSLATE_NOOP("Toolbox", "Segmentation (Threshold)"),
    QT_TRANSLATE_NOOP("Toolbox", "Entropy"),
    QT_TRANSLATE_NOOP("Toolbox", "Fuzzy Set"),
    QT_TRANSLATE_NOOP("Toolbox", "Histogram"),
    QT_TRANSLATE_NOOP("Toolbox", "Edge Detection"),
    QT_TRANSLATE_NOOP("Toolbox", "Gradient"),
    QT_TRANSLATE_NOOP("Toolbox", "Laplacian"),
    QT_TRANSLATE_NOOP("Toolbox", "Thinning"),
    QT_TRANSLATE_NOOP("Toolbox", "Noise Removement"),
    QT_TRANSLATE_NOOP("Toolbox", "Feature Detection"),
    QT_TRANSLATE_NOOP("Toolbox", "Etc Algorithm"),
    QT_TRANSLATE_NOOP("Toolbox", "Edge Detection by general operator of  gradient"),
    QT_TRANSLATE_NOOP("Toolbox", "Edge Detection by Roberts operator of  gradient"),
    QT_TRANSLATE_NOOP("Toolbox", "Edge Detection by Prewitt operator of  gradient"),
    QT_TRANSLATE_NOOP("Toolbox", "Edge Detection by Sobel operator of  gradient"),
    QT_TRANSLATE_NOOP("Toolbox", "Edge Detection by FreiChen operator of  gradient"),
    QT_TRANSLATE_NOOP("Toolbox", "Edge Detection by vertical general operator of  gradient"),
    QT_TRANSLATE_NOOP("Toolbox", "Edge Detection by horizontal general operator of  gradient"),
    QT_TRANSLATE_NOOP("Toolbox", "Edge Detection by Laplacian 1"),
    QT_TRANSLATE_NOOP("Toolbox", "Edge Detection by Laplacian 2"),
    QT_TRANSLATE_NOOP("Toolbox", "Edge Detection by Laplacian 3"),
    QT_TRANSLATE_NOOP("Toolbox", "Thinning by Zhang & Suen algorithm"),
    QT_TRANSLATE_NOOP("Toolbox", "Noise Removement by Mean algorithm"),
    QT_TRANSLATE_NOOP("Toolbox", "Noise Removement by Meadian algorithm"),
    QT_TRANSLATE_NOOP("Toolbox", "Noise Removement by Contraction algorithm"),
    QT_TRANSLATE_NOOP("Toolbox", "Noise Removement by Expansion algorithm"),
    QT_TRANSLATE_NOOP("Toolbox", "Inversed image"),
    QT_TRANSLATE_NOOP("Toolbox", "Hough Transform(Edge Detection)"),
    QT_TRANSLATE_NOOP("Toolbox", "threshold value by Twopeaks = %1"),
    QT_TRANSLATE_NOOP("Toolbox", "Threshold value by Laplacian = %1"),
    QT_TRANSLATE_NOOP("Toolbox", "Threshold value by Iterative Section = %1"),
    QT_TRANSLATE_NOOP("Toolbox", "Threshold value by Gray Level Histogram = %1"),
    QT_TRANSLATE_NOOP("Toolbox", "Threshold value by Entropy by Johannsen = %1"),
    QT_TRANSLATE_NOOP("Toolbox", "Threshold value by Entropy by Kapur = %1"),
    QT_TRANSLATE_NOOP("Toolbox", "Threshold value by Entropy by Pun = %1"),
    QT_TRANSLATE_NOOP("Toolbox", "Threshold value by minimizing fuzzy by shannon = %1"),
    QT_TRANSLATE_NOOP("Toolbox", "Threshold value by minimizing fuzzy by yager = %1"),
    QT_TRANSLATE_NOOP("Toolbox", "Threshold value by minimum Error = %1"),
    QT_TRANSLATE_NOOP("Toolbox", "Threshold value by Moving Average = %1"),
    QT_TRANSLATE_NOOP("Toolbox", "threshold value by P-tile = %1"),
    QT_TRANSLATE_NOOP("Toolbox", "threshold value by Mean = %1"),
    QT_TRANSLATE_NOOP("Toolbox", "Lower Threshold is %1 and Upper Threshold is %2"),
    QT_TRANSLATE_NOOP("Toolbox", "Ends-In Contrast Stretch, Lower Threshold = %1 , Upper Threshold = %2"),
    QT_TRANSLATE_NOOP("Toolbox", "Number of Object = %1"),
    QT_TRANSLATE_NOOP("Toolbox", "Mean"),
    QT_TRANSLATE_NOOP("Toolbox", "P-Tile"),
    QT_TRANSLATE_NOOP("Toolbox", "Twopeaks"),
    QT_TRANSLATE_NOOP("Toolbox", "Iterative Selection"),
    QT_TRANSLATE_NOOP("Toolbox", "GrayLevel Histogram"),
    QT_TRANSLATE_NOOP("Toolbox", "Johannsen"),
    QT_TRANSLATE_NOOP("Toolbox", "Kapur"),
    QT_TRANSLATE_NOOP("Toolbox", "Pun"),
    QT_TRANSLATE_NOOP("Toolbox", "Shannon"),
    QT_TRANSLATE_NOOP("Toolbox", "Yager"),
    QT_TRANSLATE_NOOP("Toolbox", "Minimum Error"),
    QT_TRANSLATE_NOOP("Toolbox", "Moving Average"),
    QT_TRANSLATE_NOOP("Toolbox", "Equalization"),
    QT_TRANSLATE_NOOP("Toolbox", "Specification"),
    QT_TRANSLATE_NOOP("Toolbox", "AutoContrastStretch"),
    QT_TRANSLATE_NOOP("Toolbox", "EndsInContrast"),
    QT_TRANSLATE_NOOP("Toolbox", "General Operator"),
    QT_TRANSLATE_NOOP("Toolbox", "Roberts Operator"),
    QT_TRANSLATE_NOOP("Toolbox", "Prewitt Operator"),
    QT_TRANSLATE_NOOP("Toolbox", "Sobel Operator"),
    QT_TRANSLATE_NOOP("Toolbox", "FreiChen"),
    QT_TRANSLATE_NOOP("Toolbox", "General Vertical Operator"),
    QT_TRANSLATE_NOOP("Toolbox", "General HOrizontal Operator"),
    QT_TRANSLATE_NOOP("Toolbox", "Laplacian1"),
    QT_TRANSLATE_NOOP("Toolbox", "Laplacian2"),
    QT_TRANSLATE_NOOP("Toolbox", "Laplacian3"),
    QT_TRANSLATE_NOOP("Toolbox", "Hough Transform"),
    QT_TRANSLATE_NOOP("Toolbox", "Zhang_Suen"),
    QT_TRANSLATE_NOOP("Toolbox", "MedianFilter"),
    QT_TRANSLATE_NOOP("Toolbox", "Contraction"),
    QT_TRANSLATE_NOOP("Toolbox", "Expansion"),
    QT_TRANSLATE_NOOP("Toolbox", "Labeling"),
    QT_TRANSLATE_NOOP("Toolbox", "Inverse"),
    QT_TRANSLATE_NOOP("Toolbox", "Threshold by P-tile method"),
    QT_TRANSLATE_NOOP("Toolbox", "Black % :Ex)50"),
    QT_TRANSLATE_NOOP("Toolbox", "입력값 페센티지에 문제가 있습니다. 다시 입력하시기 바랍니다"),
    QT_TRANSLATE_NOOP("Toolbox", "Ends-In Contrast Stretch(Percentage of pixels to set to 0"),
    QT_TRANSLATE_NOOP("Toolbox", "Enter Lower Value"),
    QT_TRANSLATE_NOOP("Toolbox", "Ends-In Contrast Stretch(Percentage of pixels to set to 255"),
    QT_TRANSLATE_NOOP("Toolbox", "Enter Higher Value"),
    // What the window says after an operation that reports nothing (DoneReport).
    QT_TRANSLATE_NOOP("Toolbox", "Histogram equalized"),
    QT_TRANSLATE_NOOP("Toolbox", "Histogram specified: each level mapped to the lowest level of its equalized value"),
};

// Captions two operations share, told apart in the menus by their action's name (Tr's
// disambiguation): the mean threshold and the mean filter are both "Mean".
[[maybe_unused]] const char* const kToolboxCaptions[][2] = {
    QT_TRANSLATE_NOOP3("Toolbox", "Mean", "Mean1S"),
    QT_TRANSLATE_NOOP3("Toolbox", "Mean", "Mean1NR"),
};

// The steps' texts kept outside their table (step_presentation.h), and the measures of a
// robustness row shown as result lines.
[[maybe_unused]] const char* const kStepTexts[] = {
    QT_TRANSLATE_NOOP("Step", "Watermarked image is equal to Original image\rPSNR is infinite value"),
    QT_TRANSLATE_NOOP("Step", "Load Attacked Image"),
    QT_TRANSLATE_NOOP("Step", "no verdict: X_hat no longer follows from the embedding's steps (run the embedding again)"),
    QT_TRANSLATE_NOOP("Step", "no verdict: the mark leaves too few relations of the host to tell a marked picture from an unmarked one"),
    QT_TRANSLATE_NOOP("Step", "BER = %1"),
    QT_TRANSLATE_NOOP("Step", "SSIM = %1"),
    QT_TRANSLATE_NOOP("Step", "detected at 1e-6"),
    QT_TRANSLATE_NOOP("Step", "not detected at 1e-6"),
};

}  // namespace
}  // namespace quillfen::ui
