<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>Step</name>
    <message>
        <source>Watermarked image is equal to Original image<byte value="xd"/>PSNR is infinite value</source>
        <translation>The watermarked picture equals the original: PSNR is infinite.</translation>
    </message>
    <message>
        <source>Load Attacked Image</source>
        <translation>Load Attacked Image</translation>
    </message>
    <message>
        <source>BER = %1</source>
        <translation>BER = %1</translation>
    </message>
    <message>
        <source>SSIM = %1</source>
        <translation>SSIM = %1</translation>
    </message>
    <message>
        <source>detected at 1e-6</source>
        <translation>mark detected (false alarms ≤ 1e-6)</translation>
    </message>
    <message>
        <source>not detected at 1e-6</source>
        <translation>no mark detected (false alarms ≤ 1e-6)</translation>
    </message>
    <message>
        <source>Load Watermark (W)</source>
        <translation>Load Watermark (W)</translation>
    </message>
    <message>
        <source>Loaded watermark image.</source>
        <translation>Watermark loaded.</translation>
    </message>
    <message>
        <source>워터마킹 대상 이미지를 먼저 로딩하세요</source>
        <translation>Open the host picture first.</translation>
    </message>
    <message>
        <source>Get Wr ( Pseudo Random)</source>
        <translation>Get Wr (Pseudo-Random Scattering)</translation>
    </message>
    <message>
        <source>Get Wr</source>
        <translation>Get Wr</translation>
    </message>
    <message>
        <source>Complete to get Wr</source>
        <translation>Got Wr.</translation>
    </message>
    <message>
        <source>워터마킹 대상 이미지와 워터마크 이미지를 먼저 로딩하세요</source>
        <translation>Load the watermark first (Watermark Embedding ▸ Load Watermark).</translation>
    </message>
    <message>
        <source>Get Wa ( Adaptive )</source>
        <translation>Get Wa (Adaptive Placement)</translation>
    </message>
    <message>
        <source>Get Wa</source>
        <translation>Get Wa</translation>
    </message>
    <message>
        <source>Complete to get Wa</source>
        <translation>Got Wa.</translation>
    </message>
    <message>
        <source>먼저 Get Wr을 수행하세요</source>
        <translation>Run Get Wr first.</translation>
    </message>
    <message>
        <source>Get Y ( = FDCT(X) )</source>
        <translation>Get Y (= FDCT(X))</translation>
    </message>
    <message>
        <source>get Y by executing Foward-DCT to X.</source>
        <translation>Computing Y, the forward DCT of X...</translation>
    </message>
    <message>
        <source>Successfully got Y by executing Foward-DCT to X...</source>
        <translation>Got Y, the forward DCT of X.</translation>
    </message>
    <message>
        <source>먼저 Get Wa을 수행하세요</source>
        <translation>Run Get Wa first.</translation>
    </message>
    <message>
        <source>Get Yr ( = Reduce Y)</source>
        <translation>Get Yr (= Reduce Y)</translation>
    </message>
    <message>
        <source>Get Yr</source>
        <translation>Get Yr</translation>
    </message>
    <message>
        <source>Successfully got Yr</source>
        <translation>Got Yr.</translation>
    </message>
    <message>
        <source>먼저 Get Y을 수행하세요</source>
        <translation>Run Get Y first.</translation>
    </message>
    <message>
        <source>Get P ( = Polarity Yr )</source>
        <translation>Get P (= Polarity of Yr)</translation>
    </message>
    <message>
        <source>Get P</source>
        <translation>Get P</translation>
    </message>
    <message>
        <source>Successfully got P</source>
        <translation>Got P.</translation>
    </message>
    <message>
        <source>먼저 Get Yr을 수행하세요</source>
        <translation>Run Get Yr first.</translation>
    </message>
    <message>
        <source>Get P_hat ( = XOR(P, Wa) )</source>
        <translation>Get P_hat (= XOR(P, Wa))</translation>
    </message>
    <message>
        <source>Get P_hat</source>
        <translation>Get P_hat</translation>
    </message>
    <message>
        <source>Successfully got P_hat</source>
        <translation>Got P_hat.</translation>
    </message>
    <message>
        <source>먼저 Get P을 수행하세요</source>
        <translation>Run Get P first.</translation>
    </message>
    <message>
        <source>Get Yr_hat ( = Expand P_hat )</source>
        <translation>Get Yr_hat (= Expand P_hat)</translation>
    </message>
    <message>
        <source>Get Yr_hat</source>
        <translation>Get Yr_hat</translation>
    </message>
    <message>
        <source>Successfully got Yr_hat</source>
        <translation>Got Yr_hat.</translation>
    </message>
    <message>
        <source>먼저 Get P_hat을 수행하세요</source>
        <translation>Run Get P_hat first.</translation>
    </message>
    <message>
        <source>Get Y_hat ( = Map Yr_hat to Y_hat )</source>
        <translation>Get Y_hat (= Map Yr_hat to Y_hat)</translation>
    </message>
    <message>
        <source>Get Y_hat</source>
        <translation>Get Y_hat</translation>
    </message>
    <message>
        <source>Successfully got Y_hat</source>
        <translation>Got Y_hat.</translation>
    </message>
    <message>
        <source>먼저 Get Yr_hat을 수행하세요</source>
        <translation>Run Get Yr_hat first.</translation>
    </message>
    <message>
        <source>Get X_hat ( = IDCT (Y_hat) )</source>
        <translation>Get X_hat (= IDCT(Y_hat))</translation>
    </message>
    <message>
        <source>Get X_hat</source>
        <translation>Get X_hat</translation>
    </message>
    <message>
        <source>Successfully got X_hat</source>
        <translation>Got X_hat.</translation>
    </message>
    <message>
        <source>먼저 Get Y_hat을 수행하세요</source>
        <translation>Run Get Y_hat first.</translation>
    </message>
    <message>
        <source>Get PSNR,  Difference Between  X and X_hat</source>
        <translation>Get PSNR and the Difference Between X and X_hat</translation>
    </message>
    <message>
        <source>Get PSNR &amp; sum of Difference</source>
        <translation>Computing PSNR and the sum of differences...</translation>
    </message>
    <message>
        <source>successfully got PSNR &amp; sum of Difference</source>
        <translation>Got PSNR and the sum of differences.</translation>
    </message>
    <message>
        <source>먼저 Get X_hat을 수행하세요</source>
        <translation>Run Get X_hat first.</translation>
    </message>
    <message>
        <source>Save X_hat to Bitmap File</source>
        <translation>Save X_hat to a Bitmap File</translation>
    </message>
    <message>
        <source>save X_hat to file.</source>
        <translation>Saving X_hat...</translation>
    </message>
    <message>
        <source>successfully saved X_hat to file.</source>
        <translation>Saved X_hat.</translation>
    </message>
    <message>
        <source>No Attack to X_hat</source>
        <translation>No Attack (X_wave = X_hat)</translation>
    </message>
    <message>
        <source>successfully copy X_hat to X_wave.</source>
        <translation>Copied X_hat to X_wave (no attack).</translation>
    </message>
    <message>
        <source>먼저 워터마킹을 완료하세요</source>
        <translation>Embed the watermark first (Run Embedding, Ctrl+E).</translation>
    </message>
    <message>
        <source>Apply Jpeg to X_hat</source>
        <translation>Apply JPEG Compression to X_hat</translation>
    </message>
    <message>
        <source>successfully Apply JPEG lossy compression.</source>
        <translation>Applied lossy JPEG compression.</translation>
    </message>
    <message>
        <source>Apply Blurring to X_hat</source>
        <translation>Apply Blurring to X_hat</translation>
    </message>
    <message>
        <source>successfully Apply Blurring operation.</source>
        <translation>Applied blurring.</translation>
    </message>
    <message>
        <source>Apply Cropping to X_hat with Zero Quarter</source>
        <translation>Crop X_hat: a Quarter Set to Zero</translation>
    </message>
    <message>
        <source>successfully Apply Cropping with Zero In Quarter percentage.</source>
        <translation>Applied cropping: a quarter set to zero.</translation>
    </message>
    <message>
        <source>Apply Cropping to X_hat with Image quarter</source>
        <translation>Crop X_hat: a Quarter Replaced by Picture Content</translation>
    </message>
    <message>
        <source>successfully Apply Cropping with Image In Quarter percentage.</source>
        <translation>Applied cropping: a quarter replaced by other picture content.</translation>
    </message>
    <message>
        <source>Apply Cropping to X_hat with Zero Half</source>
        <translation>Crop X_hat: Half Set to Zero</translation>
    </message>
    <message>
        <source>successfully Apply Cropping with zero In Half percentage.</source>
        <translation>Applied cropping: half set to zero.</translation>
    </message>
    <message>
        <source>Apply Cropping to X_hat with Image Half</source>
        <translation>Crop X_hat: Half Replaced by Picture Content</translation>
    </message>
    <message>
        <source>successfully Apply Cropping with Image In Half percentage.</source>
        <translation>Applied cropping: half replaced by other picture content.</translation>
    </message>
    <message>
        <source>Get Y ( = FDCT(X_wave) )</source>
        <translation>Get Y_wave (= FDCT(X_wave))</translation>
    </message>
    <message>
        <source>get Y_wave.</source>
        <translation>Computing Y_wave...</translation>
    </message>
    <message>
        <source>successfully got Y_wave.</source>
        <translation>Got Y_wave.</translation>
    </message>
    <message>
        <source>먼저 X_hat을 X_wave로 복사한 후 수행하세요</source>
        <translation>First embed the watermark (Run Embedding), then attack X_hat under Image Processing (No Attack leaves it as it is).</translation>
    </message>
    <message>
        <source>Get Yr_wave ( = Reduce (Y_wave) )</source>
        <translation>Get Yr_wave (= Reduce Y_wave)</translation>
    </message>
    <message>
        <source>get Yr_wave.</source>
        <translation>Computing Yr_wave...</translation>
    </message>
    <message>
        <source>successfully got Yr_wave.</source>
        <translation>Got Yr_wave.</translation>
    </message>
    <message>
        <source>먼저 Get Y_wave를 수행하세요</source>
        <translation>Run Get Y_wave first.</translation>
    </message>
    <message>
        <source>Get P_wave ( =  Polarity( Yr_wave) )</source>
        <translation>Get P_wave (= Polarity of Yr_wave)</translation>
    </message>
    <message>
        <source>get P_wave.</source>
        <translation>Computing P_wave...</translation>
    </message>
    <message>
        <source>successfully got P_wave.</source>
        <translation>Got P_wave.</translation>
    </message>
    <message>
        <source>먼저 Get Yr_wave를 수행하세요</source>
        <translation>Run Get Yr_wave first.</translation>
    </message>
    <message>
        <source>Get Wa_wave ( = XOR(P, P_wave) )</source>
        <translation>Get Wa_wave (= XOR(P, P_wave))</translation>
    </message>
    <message>
        <source>get Wa_wave.</source>
        <translation>Computing Wa_wave...</translation>
    </message>
    <message>
        <source>successfully got Wa_wave.</source>
        <translation>Got Wa_wave.</translation>
    </message>
    <message>
        <source>먼저 Get P_wave를 수행하세요</source>
        <translation>Run Get P_wave first.</translation>
    </message>
    <message>
        <source>Get Wr_wave ( reverse adaptive )</source>
        <translation>Get Wr_wave (Reverse Adaptive Placement)</translation>
    </message>
    <message>
        <source>get Wr_wave.</source>
        <translation>Computing Wr_wave...</translation>
    </message>
    <message>
        <source>successfully got Wr_wave.</source>
        <translation>Got Wr_wave.</translation>
    </message>
    <message>
        <source>먼저 Get Wa_wave를 수행하세요</source>
        <translation>Run Get Wa_wave first.</translation>
    </message>
    <message>
        <source>Get W_wave ( reverse random number )</source>
        <translation>Get W_wave (Reverse Scattering)</translation>
    </message>
    <message>
        <source>get W_wave.</source>
        <translation>Computing W_wave...</translation>
    </message>
    <message>
        <source>successfully got W_wave.</source>
        <translation>Got W_wave.</translation>
    </message>
    <message>
        <source>먼저 Get Wr_wave를 수행하세요</source>
        <translation>Run Get Wr_wave first.</translation>
    </message>
    <message>
        <source>Get Normalized Correlation</source>
        <translation>Get Normalized Correlation</translation>
    </message>
    <message>
        <source>get the normalized cross-correlation.</source>
        <translation>Normalized correlation (NC) of W and W_wave:</translation>
    </message>
    <message>
        <source>먼저 Get W_wave를 수행하세요</source>
        <translation>Run Get W_wave first.</translation>
    </message>
    <message>
        <source>Save W_wave to File</source>
        <translation>Save W_wave to a File</translation>
    </message>
    <message>
        <source>save W_wave.</source>
        <translation>Saving W_wave...</translation>
    </message>
    <message>
        <source>successfully saved W_wave.</source>
        <translation>Saved W_wave.</translation>
    </message>
    <message>
        <source>PSNR = %1</source>
        <translation>PSNR = %1</translation>
    </message>
    <message>
        <source>PSNR = infinite</source>
        <translation>PSNR = infinite</translation>
    </message>
    <message>
        <source>Wr count =%1</source>
        <translation>Wr count = %1</translation>
    </message>
    <message>
        <source>Wa count =%1</source>
        <translation>Wa count = %1</translation>
    </message>
    <message>
        <source>Diff = %1</source>
        <translation>Sum of squared differences = %1</translation>
    </message>
    <message>
        <source>NC =%1</source>
        <translation>NC = %1</translation>
    </message>
    <message>
        <source>NC =undefined</source>
        <translation>NC = undefined</translation>
    </message>
    <message>
        <source>seed = %1</source>
        <translation>seed = %1</translation>
    </message>
    <message>
        <source>no verdict: X_hat no longer follows from the embedding&apos;s steps (run the embedding again)</source>
        <translation>no verdict: X_hat no longer follows from the embedding&apos;s steps (run the embedding again)</translation>
    </message>
    <message>
        <source>no verdict: the mark leaves too few relations of the host to tell a marked picture from an unmarked one</source>
        <translation>no verdict: the mark leaves too few relations of the host to tell a marked picture from an unmarked one</translation>
    </message>
    <message>
        <source>mark present: score %1 ≥ %2 (false alarms ≤ 1e-6)</source>
        <translation>mark present: score %1 ≥ %2 (false alarms ≤ 1e-6)</translation>
    </message>
    <message>
        <source>no mark found: score %1 &lt; %2 (the threshold for false alarms ≤ 1e-6)</source>
        <translation>no mark found: score %1 &lt; %2 (the threshold for false alarms ≤ 1e-6)</translation>
    </message>
</context>
<context>
    <name>Toolbox</name>
    <message>
        <source>Segmentation (Threshold)</source>
        <translation>Segmentation (Thresholds)</translation>
    </message>
    <message>
        <source>Entropy</source>
        <translation>Entropy</translation>
    </message>
    <message>
        <source>Fuzzy Set</source>
        <translation>Fuzzy Sets</translation>
    </message>
    <message>
        <source>Histogram</source>
        <translation>Histogram</translation>
    </message>
    <message>
        <source>Edge Detection</source>
        <translation>Edge Detection</translation>
    </message>
    <message>
        <source>Gradient</source>
        <translation>Gradient</translation>
    </message>
    <message>
        <source>Laplacian</source>
        <translation>Laplacian</translation>
    </message>
    <message>
        <source>Thinning</source>
        <translation>Thinning</translation>
    </message>
    <message>
        <source>Noise Removement</source>
        <translation>Noise Removal</translation>
    </message>
    <message>
        <source>Feature Detection</source>
        <translation>Feature Detection</translation>
    </message>
    <message>
        <source>Etc Algorithm</source>
        <translation>Other Operations</translation>
    </message>
    <message>
        <source>Edge Detection by general operator of  gradient</source>
        <translation>Edge detection by the general gradient operator</translation>
    </message>
    <message>
        <source>Edge Detection by Roberts operator of  gradient</source>
        <translation>Edge detection by the Roberts gradient operator</translation>
    </message>
    <message>
        <source>Edge Detection by Prewitt operator of  gradient</source>
        <translation>Edge detection by the Prewitt gradient operator</translation>
    </message>
    <message>
        <source>Edge Detection by Sobel operator of  gradient</source>
        <translation>Edge detection by the Sobel gradient operator</translation>
    </message>
    <message>
        <source>Edge Detection by FreiChen operator of  gradient</source>
        <translation>Edge detection by the Frei-Chen gradient operator</translation>
    </message>
    <message>
        <source>Edge Detection by vertical general operator of  gradient</source>
        <translation>Edge detection by the vertical general gradient operator</translation>
    </message>
    <message>
        <source>Edge Detection by horizontal general operator of  gradient</source>
        <translation>Edge detection by the horizontal general gradient operator</translation>
    </message>
    <message>
        <source>Edge Detection by Laplacian 1</source>
        <translation>Edge detection by Laplacian mask 1</translation>
    </message>
    <message>
        <source>Edge Detection by Laplacian 2</source>
        <translation>Edge detection by Laplacian mask 2</translation>
    </message>
    <message>
        <source>Edge Detection by Laplacian 3</source>
        <translation>Edge detection by Laplacian mask 3</translation>
    </message>
    <message>
        <source>Thinning by Zhang &amp; Suen algorithm</source>
        <translation>Thinning by the Zhang-Suen algorithm</translation>
    </message>
    <message>
        <source>Noise Removement by Mean algorithm</source>
        <translation>Noise removal by the mean filter</translation>
    </message>
    <message>
        <source>Noise Removement by Meadian algorithm</source>
        <translation>Noise removal by the median filter</translation>
    </message>
    <message>
        <source>Noise Removement by Contraction algorithm</source>
        <translation>Noise removal by contraction</translation>
    </message>
    <message>
        <source>Noise Removement by Expansion algorithm</source>
        <translation>Noise removal by expansion</translation>
    </message>
    <message>
        <source>Inversed image</source>
        <translation>Inverted image</translation>
    </message>
    <message>
        <source>Hough Transform(Edge Detection)</source>
        <translation>Hough transform (edge detection)</translation>
    </message>
    <message>
        <source>threshold value by Twopeaks = %1</source>
        <translation>Threshold by two peaks = %1</translation>
    </message>
    <message>
        <source>Threshold value by Laplacian = %1</source>
        <translation>Threshold by Laplacian = %1</translation>
    </message>
    <message>
        <source>Threshold value by Iterative Section = %1</source>
        <translation>Threshold by iterative selection = %1</translation>
    </message>
    <message>
        <source>Threshold value by Gray Level Histogram = %1</source>
        <translation>Threshold by gray-level histogram = %1</translation>
    </message>
    <message>
        <source>Threshold value by Entropy by Johannsen = %1</source>
        <translation>Threshold by entropy (Johannsen) = %1</translation>
    </message>
    <message>
        <source>Threshold value by Entropy by Kapur = %1</source>
        <translation>Threshold by entropy (Kapur) = %1</translation>
    </message>
    <message>
        <source>Threshold value by Entropy by Pun = %1</source>
        <translation>Threshold by entropy (Pun) = %1</translation>
    </message>
    <message>
        <source>Threshold value by minimizing fuzzy by shannon = %1</source>
        <translation>Threshold by minimal fuzziness (Shannon) = %1</translation>
    </message>
    <message>
        <source>Threshold value by minimizing fuzzy by yager = %1</source>
        <translation>Threshold by minimal fuzziness (Yager) = %1</translation>
    </message>
    <message>
        <source>Threshold value by minimum Error = %1</source>
        <translation>Threshold by minimum error = %1</translation>
    </message>
    <message>
        <source>Threshold value by Moving Average = %1</source>
        <translation>Threshold by moving average = %1</translation>
    </message>
    <message>
        <source>threshold value by P-tile = %1</source>
        <translation>Threshold by P-tile = %1</translation>
    </message>
    <message>
        <source>threshold value by Mean = %1</source>
        <translation>Threshold by mean = %1</translation>
    </message>
    <message>
        <source>Lower Threshold is %1 and Upper Threshold is %2</source>
        <translation>Lower threshold %1, upper threshold %2</translation>
    </message>
    <message>
        <source>Ends-In Contrast Stretch, Lower Threshold = %1 , Upper Threshold = %2</source>
        <translation>Ends-in contrast stretch: lower threshold %1, upper threshold %2</translation>
    </message>
    <message>
        <source>Number of Object = %1</source>
        <translation>Number of objects = %1</translation>
    </message>
    <message>
        <source>Mean</source>
        <translation>Mean</translation>
    </message>
    <message>
        <source>P-Tile</source>
        <translation>P-Tile</translation>
    </message>
    <message>
        <source>Twopeaks</source>
        <translation>Two Peaks</translation>
    </message>
    <message>
        <source>Iterative Selection</source>
        <translation>Iterative Selection</translation>
    </message>
    <message>
        <source>GrayLevel Histogram</source>
        <translation>Gray-Level Histogram</translation>
    </message>
    <message>
        <source>Johannsen</source>
        <translation>Johannsen</translation>
    </message>
    <message>
        <source>Kapur</source>
        <translation>Kapur</translation>
    </message>
    <message>
        <source>Pun</source>
        <translation>Pun</translation>
    </message>
    <message>
        <source>Shannon</source>
        <translation>Shannon</translation>
    </message>
    <message>
        <source>Yager</source>
        <translation>Yager</translation>
    </message>
    <message>
        <source>Minimum Error</source>
        <translation>Minimum Error</translation>
    </message>
    <message>
        <source>Moving Average</source>
        <translation>Moving Average</translation>
    </message>
    <message>
        <source>Equalization</source>
        <translation>Equalization</translation>
    </message>
    <message>
        <source>Specification</source>
        <translation>Histogram Matching</translation>
    </message>
    <message>
        <source>AutoContrastStretch</source>
        <translation>Automatic Contrast Stretch</translation>
    </message>
    <message>
        <source>EndsInContrast</source>
        <translation>Ends-In Contrast Stretch...</translation>
    </message>
    <message>
        <source>General Operator</source>
        <translation>General Operator</translation>
    </message>
    <message>
        <source>Roberts Operator</source>
        <translation>Roberts Operator</translation>
    </message>
    <message>
        <source>Prewitt Operator</source>
        <translation>Prewitt Operator</translation>
    </message>
    <message>
        <source>Sobel Operator</source>
        <translation>Sobel Operator</translation>
    </message>
    <message>
        <source>FreiChen</source>
        <translation>Frei-Chen Operator</translation>
    </message>
    <message>
        <source>General Vertical Operator</source>
        <translation>General Vertical Operator</translation>
    </message>
    <message>
        <source>General HOrizontal Operator</source>
        <translation>General Horizontal Operator</translation>
    </message>
    <message>
        <source>Laplacian1</source>
        <translation>Laplacian Mask 1</translation>
    </message>
    <message>
        <source>Laplacian2</source>
        <translation>Laplacian Mask 2</translation>
    </message>
    <message>
        <source>Laplacian3</source>
        <translation>Laplacian Mask 3</translation>
    </message>
    <message>
        <source>Hough Transform</source>
        <translation>Hough Transform</translation>
    </message>
    <message>
        <source>Zhang_Suen</source>
        <translation>Zhang-Suen</translation>
    </message>
    <message>
        <source>MedianFilter</source>
        <translation>Median Filter</translation>
    </message>
    <message>
        <source>Contraction</source>
        <translation>Contraction</translation>
    </message>
    <message>
        <source>Expansion</source>
        <translation>Expansion</translation>
    </message>
    <message>
        <source>Labeling</source>
        <translation>Labeling</translation>
    </message>
    <message>
        <source>Inverse</source>
        <translation>Invert</translation>
    </message>
    <message>
        <source>Threshold by P-tile method</source>
        <translation>Threshold by the P-Tile Method</translation>
    </message>
    <message>
        <source>Black % :Ex)50</source>
        <translation>Black percentage (for example 50):</translation>
    </message>
    <message>
        <source>입력값 페센티지에 문제가 있습니다. 다시 입력하시기 바랍니다</source>
        <translation>The percentage entered is not valid: enter a whole number from 0 to 100.</translation>
    </message>
    <message>
        <source>Ends-In Contrast Stretch(Percentage of pixels to set to 0</source>
        <translation>Ends-In Contrast Stretch (percentage of pixels set to 0)</translation>
    </message>
    <message>
        <source>Enter Lower Value</source>
        <translation>Lower percentage:</translation>
    </message>
    <message>
        <source>Ends-In Contrast Stretch(Percentage of pixels to set to 255</source>
        <translation>Ends-In Contrast Stretch (percentage of pixels set to 255)</translation>
    </message>
    <message>
        <source>Enter Higher Value</source>
        <translation>Upper percentage:</translation>
    </message>
    <message>
        <source>Image Size</source>
        <translation>Image Size</translation>
    </message>
    <message>
        <source>Relaxation</source>
        <translation>Relaxation</translation>
    </message>
    <message>
        <source>View Histogram</source>
        <translation>View Histogram</translation>
    </message>
    <message>
        <source>Template Matching</source>
        <translation>Template Matching</translation>
    </message>
    <message>
        <source>Prewitt</source>
        <translation>Prewitt</translation>
    </message>
    <message>
        <source>Hueckel</source>
        <translation>Hueckel</translation>
    </message>
    <message>
        <source>Canny</source>
        <translation>Canny</translation>
    </message>
    <message>
        <source>Shen_Castan</source>
        <translation>Shen-Castan</translation>
    </message>
    <message>
        <source>Marr_Hildreth</source>
        <translation>Marr-Hildreth</translation>
    </message>
    <message>
        <source>Hilditch</source>
        <translation>Hilditch</translation>
    </message>
    <message>
        <source>Medial_AxisTransform</source>
        <translation>Medial Axis Transform</translation>
    </message>
    <message>
        <source>IterativeMorphological</source>
        <translation>Iterative Morphological</translation>
    </message>
    <message>
        <source>Stentiford_Holt_Zhang_Suen</source>
        <translation>Stentiford / Holt / Zhang-Suen</translation>
    </message>
    <message>
        <source>Feature parameter</source>
        <translation>Feature Parameters</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>Ratio</source>
        <translation>Ratio</translation>
    </message>
    <message>
        <source>Round length</source>
        <translation>Perimeter</translation>
    </message>
    <message>
        <source>Center</source>
        <translation>Center</translation>
    </message>
    <message>
        <source>Texture</source>
        <translation>Texture</translation>
    </message>
    <message>
        <source>Co-occurency</source>
        <translation>Co-occurrence</translation>
    </message>
    <message>
        <source>Maximum Probability</source>
        <translation>Maximum Probability</translation>
    </message>
    <message>
        <source>Moments</source>
        <translation>Moments</translation>
    </message>
    <message>
        <source>Contrast</source>
        <translation>Contrast</translation>
    </message>
    <message>
        <source>Homogeneity</source>
        <translation>Homogeneity</translation>
    </message>
    <message>
        <source>Image Restoration</source>
        <translation>Image Restoration</translation>
    </message>
    <message>
        <source>Frequency Processing</source>
        <translation>Frequency Processing</translation>
    </message>
    <message>
        <source>Discreate Fourier Transform</source>
        <translation>Discrete Fourier Transform</translation>
    </message>
    <message>
        <source>Fast Fourier Transform</source>
        <translation>Fast Fourier Transform</translation>
    </message>
    <message>
        <source>Inverse Fourier Transform</source>
        <translation>Inverse Fourier Transform</translation>
    </message>
    <message>
        <source>Two-Dimensional Fourier Transform</source>
        <translation>Two-Dimensional Fourier Transform</translation>
    </message>
    <message>
        <source>Creating Artificial Blur</source>
        <translation>Artificial Blur</translation>
    </message>
    <message>
        <source>Filtering</source>
        <translation>Filtering</translation>
    </message>
    <message>
        <source>Inverse Filter</source>
        <translation>Inverse Filter</translation>
    </message>
    <message>
        <source>Wiener Filter</source>
        <translation>Wiener Filter</translation>
    </message>
    <message>
        <source>Structured Noise</source>
        <translation>Structured Noise</translation>
    </message>
    <message>
        <source>Montion Blur-Special Case</source>
        <translation>Motion Blur (Special Case)</translation>
    </message>
    <message>
        <source>Homomorphie Filter</source>
        <translation>Homomorphic Filter</translation>
    </message>
    <message>
        <source>Geometrical Transform</source>
        <translation>Geometric Transforms</translation>
    </message>
    <message>
        <source>Size Transform</source>
        <translation>Scaling</translation>
    </message>
    <message>
        <source>Location Transform</source>
        <translation>Translation</translation>
    </message>
    <message>
        <source>Rotation Transform</source>
        <translation>Rotation</translation>
    </message>
    <message>
        <source>Projection Transform</source>
        <translation>Projection</translation>
    </message>
    <message>
        <source>Image Compression</source>
        <translation>Image Compression</translation>
    </message>
    <message>
        <source>Run-Length EnCoding</source>
        <translation>Run-Length Encoding</translation>
    </message>
    <message>
        <source>DPCM</source>
        <translation>DPCM</translation>
    </message>
    <message>
        <source>Variable Encoding</source>
        <translation>Variable-Length Encoding</translation>
    </message>
    <message>
        <source>Constrast</source>
        <translation>Contrast</translation>
    </message>
    <message>
        <source>Smoothing</source>
        <translation>Smoothing</translation>
    </message>
    <message>
        <source>Histogram equalized</source>
        <translation>Histogram equalized</translation>
    </message>
    <message>
        <source>Histogram specified: each level mapped to the lowest level of its equalized value</source>
        <translation>Histogram specified: each level mapped to the lowest level of its equalized value</translation>
    </message>
    <message>
        <source>Mean</source>
        <comment>Mean1S</comment>
        <translation>Mean</translation>
    </message>
    <message>
        <source>Mean</source>
        <comment>Mean1NR</comment>
        <translation>Mean Filter</translation>
    </message>
</context>
<context>
    <name>quillfen::ui::Application</name>
    <message>
        <source>Quillfen™ by tavrenn</source>
        <translation>Quillfen</translation>
    </message>
</context>
<context>
    <name>quillfen::ui::GuiPrompts</name>
    <message>
        <source>&amp;Save</source>
        <translation>&amp;Save</translation>
    </message>
    <message>
        <source>&amp;Discard</source>
        <translation>&amp;Discard</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>quillfen::ui::ResultsDock</name>
    <message>
        <source>Results</source>
        <translation>Results</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>Step</source>
        <translation>Step</translation>
    </message>
    <message>
        <source>Result</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Copy</translation>
    </message>
    <message>
        <source>Copy as C&amp;SV</source>
        <translation>Copy as C&amp;SV</translation>
    </message>
    <message>
        <source>Save as CSV...</source>
        <translation>Save as CSV...</translation>
    </message>
</context>
<context>
    <name>quillfen::ui::TMDIChild</name>
    <message>
        <source>Undo %1</source>
        <translation>Undoing %1</translation>
    </message>
    <message>
        <source>Redo %1</source>
        <translation>Redoing %1</translation>
    </message>
    <message>
        <source>Watermark image[0] is loaded %1</source>
        <translation>Watermark loaded from %1</translation>
    </message>
    <message>
        <source>%1... (Esc cancels)</source>
        <translation>%1... (Esc cancels)</translation>
    </message>
    <message>
        <source>%1 cancelled.</source>
        <translation>%1 cancelled.</translation>
    </message>
    <message>
        <source>Not available in this version</source>
        <translation>Not available in this version</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Edit</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;View</translation>
    </message>
    <message>
        <source>Watermark Embedment</source>
        <translation>Watermark Embedding</translation>
    </message>
    <message>
        <source>Image Processing</source>
        <translation>Image Processing</translation>
    </message>
    <message>
        <source>Watermark Extraction</source>
        <translation>Watermark Extraction</translation>
    </message>
    <message>
        <source>&amp;Window</source>
        <translation>&amp;Window</translation>
    </message>
    <message>
        <source>&amp;Show...</source>
        <translation>&amp;Show...</translation>
    </message>
    <message>
        <source>Seed of every Get Wr until it is changed, 0..4294967295 (empty: the clock)</source>
        <translation>Seed for every Get Wr until you change it, from 0 to 4294967295 (leave it empty to take the seed from the clock):</translation>
    </message>
    <message>
        <source>Set Seed</source>
        <translation>Set Seed</translation>
    </message>
    <message>
        <source>Every Get Wr takes its seed from the clock.</source>
        <translation>Every Get Wr takes its seed from the clock.</translation>
    </message>
    <message>
        <source>Every Get Wr uses the seed %1 until it is changed or cleared.</source>
        <translation>Every Get Wr uses the seed %1 until it is changed or cleared.</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a seed (expected a whole number 0..4294967295).</source>
        <translation>&apos;%1&apos; is not a seed: enter a whole number from 0 to 4294967295.</translation>
    </message>
    <message>
        <source>Cannot save %1: there is no picture to save</source>
        <translation>Cannot save %1: there is no picture to save</translation>
    </message>
    <message>
        <source>Cannot write the key to %1: it is this document&apos;s picture file</source>
        <translation>Cannot write the key to %1: it is this document&apos;s picture file</translation>
    </message>
    <message>
        <source>Key saved to %1 (seed %2).</source>
        <translation>Key saved to %1 (seed %2).</translation>
    </message>
    <message>
        <source>Cannot write the watermarked image to %1: it is this document&apos;s own picture file, the unmarked host (choose another name)</source>
        <translation>Cannot write the watermarked image to %1: it is this document&apos;s own picture file, the unmarked host (choose another name)</translation>
    </message>
    <message>
        <source>Watermarked image saved to %1.</source>
        <translation>Watermarked image saved to %1.</translation>
    </message>
    <message>
        <source>A JPEG file is itself an attack on the mark (use PNG, PGM or bitmap to keep it whole): after saving, NC = %1, score %2 (1.000 before saving).</source>
        <translation>A JPEG file is itself an attack on the mark (use PNG, PGM or bitmap to keep it whole): after saving, NC = %1, score %2 (1.000 before saving).</translation>
    </message>
    <message>
        <source>undefined</source>
        <translation>undefined</translation>
    </message>
    <message>
        <source>successfully loaded X_wave from %1.</source>
        <translation>Loaded X_wave from %1.</translation>
    </message>
    <message>
        <source>%1 fits the watermarked image poorly (fit %2); it may not be a copy of it.</source>
        <translation>%1 fits the watermarked image poorly (fit %2); it may not be a copy of it.</translation>
    </message>
    <message>
        <source>Cannot use %1 as the watermark: it has no black pixel (below 128) outside its first four rows and columns, so there is nothing to find again.</source>
        <translation>Cannot use %1 as the watermark: it has no black pixel (below 128) outside its first four rows and columns, so there is nothing to find again.</translation>
    </message>
    <message>
        <source>Undone: %1</source>
        <translation>Undone: %1</translation>
    </message>
    <message>
        <source>Redone: %1</source>
        <translation>Redone: %1</translation>
    </message>
    <message>
        <source>The picture has changed: what the embedding made from it is gone (run the embedding again).</source>
        <translation>The picture has changed: what the embedding made from it is gone (run the embedding again).</translation>
    </message>
    <message>
        <source>Writing the key</source>
        <translation>Writing the key</translation>
    </message>
    <message>
        <source>Save &amp;Key...</source>
        <translation>Save &amp;Key...</translation>
    </message>
    <message>
        <source>Save Watermarked &amp;Image...</source>
        <translation>Save Watermarked &amp;Image...</translation>
    </message>
    <message>
        <source>Load &amp;Attacked Image...</source>
        <translation>Load &amp;Attacked Image...</translation>
    </message>
</context>
<context>
    <name>quillfen::ui::TfrmAbout</name>
    <message>
        <source>Comments : : 영상데이타 저작권 보호를 위한 DCT영역에서의 적응적 워터마킹 방법.</source>
        <translation>Adaptive watermarking in the DCT domain for the copyright protection of image data.</translation>
    </message>
    <message>
        <source>프로그램의 오류나 궁금한 점은 Quillfen 프로젝트의 이슈 트래커에 남겨 주시기 바랍니다. 워터마킹 이론에 관한 질문과 소스 코드에 관한 질문 모두 그곳에서 답변합니다.</source>
        <translation>Questions on the theory of watermarking and on the source code are answered there too.</translation>
    </message>
    <message>
        <source>About</source>
        <translation>About Quillfen</translation>
    </message>
    <message>
        <source>Quillfen — DCT-domain watermarking laboratory</source>
        <translation>Quillfen — a laboratory for watermarking in the DCT domain</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>Copyright © the Quillfen project contributors</source>
        <translation>Copyright © the Quillfen project contributors</translation>
    </message>
    <message>
        <source>Problems and questions: the Quillfen project&apos;s issue tracker</source>
        <translation>Problems and questions: the Quillfen project&apos;s issue tracker</translation>
    </message>
    <message>
        <source>Please attach the picture and the steps that lead to the problem.</source>
        <translation>Please attach the picture and the steps that lead to the problem.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>quillfen::ui::TfrmHistogram</name>
    <message>
        <source>Histogram </source>
        <translation>Histogram</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Level :</source>
        <translation>Level:</translation>
    </message>
    <message>
        <source>Count :</source>
        <translation>Count:</translation>
    </message>
    <message>
        <source>Mean :</source>
        <translation>Mean:</translation>
    </message>
    <message>
        <source>Pixels :</source>
        <translation>Pixels:</translation>
    </message>
</context>
<context>
    <name>quillfen::ui::TfrmMain</name>
    <message>
        <source>Esc or a click closes it</source>
        <translation>Esc or a click closes it</translation>
    </message>
    <message>
        <source>Watermarking Simulator - by tavrenn</source>
        <translation>Watermarking Simulator</translation>
    </message>
    <message>
        <source>Undo</source>
        <translation>&amp;Undo</translation>
    </message>
    <message>
        <source>&amp;Open Image</source>
        <translation>&amp;Open Image</translation>
    </message>
    <message>
        <source>&amp;Save</source>
        <translation>&amp;Save</translation>
    </message>
    <message>
        <source>Save &amp;As...</source>
        <translation>Save &amp;As...</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Close</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>Cu&amp;t</source>
        <translation>Cu&amp;t</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Copy</translation>
    </message>
    <message>
        <source>&amp;Paste</source>
        <translation>&amp;Paste</translation>
    </message>
    <message>
        <source>&amp;Cascade</source>
        <translation>&amp;Cascade</translation>
    </message>
    <message>
        <source>Tile &amp;Horizontally</source>
        <translation>Tile &amp;Horizontally</translation>
    </message>
    <message>
        <source>Tile &amp;Vertically</source>
        <translation>Tile &amp;Vertically</translation>
    </message>
    <message>
        <source>&amp;Minimize All</source>
        <translation>&amp;Minimize All</translation>
    </message>
    <message>
        <source>&amp;Arrange All</source>
        <translation>&amp;Arrange All</translation>
    </message>
    <message>
        <source>&amp;About...</source>
        <translation>&amp;About...</translation>
    </message>
    <message>
        <source>Property</source>
        <translation>What Is Watermarking?</translation>
    </message>
    <message>
        <source>워터마킹이란?</source>
        <translation>What is watermarking?</translation>
    </message>
    <message>
        <source>Redo</source>
        <translation>&amp;Redo</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Zoom &amp;In</source>
        <translation>Zoom &amp;In</translation>
    </message>
    <message>
        <source>Zoom &amp;Out</source>
        <translation>Zoom &amp;Out</translation>
    </message>
    <message>
        <source>Zoom to &amp;Fit</source>
        <translation>Zoom to &amp;Fit</translation>
    </message>
    <message>
        <source>&amp;Actual Size (1:1)</source>
        <translation>&amp;Actual Size (1:1)</translation>
    </message>
    <message>
        <source>Set &amp;Seed...</source>
        <translation>Set &amp;Seed...</translation>
    </message>
    <message>
        <source>Run &amp;Embedding</source>
        <translation>Run &amp;Embedding</translation>
    </message>
    <message>
        <source>Run E&amp;xtraction</source>
        <translation>Run E&amp;xtraction</translation>
    </message>
    <message>
        <source>Run &amp;Whole Experiment</source>
        <translation>Run &amp;Whole Experiment</translation>
    </message>
    <message>
        <source>Page S&amp;etup</source>
        <translation>Page S&amp;etup</translation>
    </message>
    <message>
        <source>&amp;Print</source>
        <translation>&amp;Print</translation>
    </message>
    <message>
        <source>Print Pre&amp;view</source>
        <translation>Print Pre&amp;view</translation>
    </message>
    <message>
        <source>Print Preview</source>
        <translation>Print Preview</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>Recent &amp;Files</source>
        <translation>Recent &amp;Files</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Edit</translation>
    </message>
    <message>
        <source>&amp;Window</source>
        <translation>&amp;Window</translation>
    </message>
    <message>
        <source>&amp;Options</source>
        <translation>&amp;Options</translation>
    </message>
    <message>
        <source>&amp;Language</source>
        <translation>&amp;Language</translation>
    </message>
    <message>
        <source>&amp;Original Texts (Korean and English)</source>
        <translation>&amp;Original Texts (Korean and English)</translation>
    </message>
    <message>
        <source>&amp;English</source>
        <translation>&amp;English</translation>
    </message>
    <message>
        <source>The windows will show the chosen language from the next start of the program.</source>
        <translation>The chosen language takes effect the next time the program starts.</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>Embedded Watermark</source>
        <translation>Embedded Watermark</translation>
    </message>
    <message>
        <source>원워터마크영상</source>
        <translation>Embedded watermark</translation>
    </message>
    <message>
        <source>Extracted Watermark</source>
        <translation>Extracted Watermark</translation>
    </message>
    <message>
        <source>추출된 워터마크된 영상</source>
        <translation>Extracted watermark</translation>
    </message>
    <message>
        <source>★ 워터마킹 작업 순서
1. File-&gt;Open메뉴에서 영상을 로드한다.
2. &apos;Watermark Embedment-&gt;Load Watermark&apos; 메뉴에서 워터마크를 로드한다.
3. 단계별로 워터마킹 삽입과정을 수행한다.
4. 영상처리 과정중 한 가지를 수행한다.
5. 단계별로 워터마킹 추출과정을 수행한다.
6. 삽입 및 검출의 마지막 단계에서 평가 결과값이 상태바에 출력된다.</source>
        <translation>★ How to run the watermarking
1. Open a picture with File &gt; Open Image.
2. Load the watermark with Watermark Embedding &gt; Load Watermark.
3. Run the embedding step by step (or Run Embedding, Ctrl+E).
4. Apply one of the attacks under Image Processing.
5. Run the extraction step by step (or Run Extraction, Ctrl+Shift+E).
6. The last steps of embedding and extraction show their scores (PSNR, NC) in the status bar.</translation>
    </message>
    <message>
        <source>LoadFromFile</source>
        <translation>Load from File...</translation>
    </message>
    <message>
        <source>SaveToFile</source>
        <translation>Save to File...</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>R&amp;obustness...</source>
        <translation>R&amp;obustness...</translation>
    </message>
    <message>
        <source>&amp;Results</source>
        <translation>&amp;Results</translation>
    </message>
    <message>
        <source>Cannot write %1</source>
        <translation>Cannot write %1</translation>
    </message>
    <message>
        <source>수행정보출력</source>
        <translation>Ready</translation>
    </message>
    <message>
        <source>위치정보</source>
        <translation>Position</translation>
    </message>
    <message>
        <source>영상 정보</source>
        <translation>Picture</translation>
    </message>
    <message>
        <source>칼라정보</source>
        <translation>Gray value</translation>
    </message>
    <message>
        <source>Undo </source>
        <translation>Undo </translation>
    </message>
    <message>
        <source>Redo </source>
        <translation>Redo </translation>
    </message>
    <message>
        <source>Set &amp;Seed... (%1)</source>
        <translation>Set &amp;Seed... (%1)</translation>
    </message>
    <message>
        <source>Reading %1... (Esc cancels)</source>
        <translation>Reading %1... (Esc cancels)</translation>
    </message>
    <message>
        <source>Reading %1 cancelled.</source>
        <translation>Reading %1 cancelled.</translation>
    </message>
    <message>
        <source>Not Founded Image Format File</source>
        <translation>The file name has no picture format the program knows (.bmp, .png, .jpg, .jpeg, .pgm).</translation>
    </message>
    <message>
        <source>Cannot save %1: the document has no picture</source>
        <translation>Cannot save %1: the document has no picture</translation>
    </message>
    <message>
        <source>The picture of &apos;%1&apos; has changed. Save it before closing?</source>
        <translation>The picture of &apos;%1&apos; has changed. Save it before closing?</translation>
    </message>
    <message>
        <source>Cannot open &apos;%1&apos;: there is no such file</source>
        <translation>Cannot open &apos;%1&apos;: there is no such file</translation>
    </message>
    <message>
        <source>Cannot open &apos;%1&apos;: it is not a file</source>
        <translation>Cannot open &apos;%1&apos;: it is not a file</translation>
    </message>
    <message>
        <source>Cannot open &apos;%1&apos;: the file no longer exists</source>
        <translation>Cannot open &apos;%1&apos;: the file no longer exists</translation>
    </message>
    <message>
        <source>Cannot save %1: the panel has no picture</source>
        <translation>Cannot save %1: the panel has no picture</translation>
    </message>
    <message>
        <source>Watermark image Saved to</source>
        <translation>Watermark saved to </translation>
    </message>
    <message>
        <source>The picture &apos;%1&apos; has not been saved to a file. Save it before closing?</source>
        <translation>The picture &apos;%1&apos; has not been saved to a file. Save it before closing?</translation>
    </message>
    <message>
        <source>Undo %1</source>
        <translation>&amp;Undo %1</translation>
    </message>
    <message>
        <source>Redo %1</source>
        <translation>&amp;Redo %1</translation>
    </message>
    <message>
        <source>%1 was open already, as %2: this is another window of it.</source>
        <translation>%1 was open already, as %2: this is another window of it.</translation>
    </message>
    <message>
        <source>%1 has no changes to save.</source>
        <translation>%1 has no changes to save.</translation>
    </message>
    <message>
        <source>Watermark image Saved to</source>
        <comment>the extracted mark</comment>
        <translation>Extracted watermark saved to </translation>
    </message>
</context>
<context>
    <name>quillfen::ui::TfrmParamHough</name>
    <message>
        <source>Hough Transform Parameters</source>
        <translation>Hough Transform Parameters</translation>
    </message>
    <message>
        <source>Parameter Space</source>
        <translation>Parameter Space</translation>
    </message>
    <message>
        <source>Radius :</source>
        <translation>Distance cells (ρ):</translation>
    </message>
    <message>
        <source>Theta(Θ) :</source>
        <translation>Angle cells (θ):</translation>
    </message>
    <message>
        <source>Threshold</source>
        <translation>Thresholds</translation>
    </message>
    <message>
        <source>Minimum line length :</source>
        <translation>Minimum line length:</translation>
    </message>
    <message>
        <source>Gradient magnitude :</source>
        <translation>Minimum gradient magnitude:</translation>
    </message>
    <message>
        <source>Hough Strength :</source>
        <translation>Minimum votes:</translation>
    </message>
    <message>
        <source>Based Hough Transform : </source>
        <translation>Voting</translation>
    </message>
    <message>
        <source>Point</source>
        <translation>By point (every angle)</translation>
    </message>
    <message>
        <source>Line</source>
        <translation>By line (the gradient&apos;s angle)</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>%1: &apos;%2&apos; is not a valid integer value</source>
        <translation>%1: &apos;%2&apos; is not a whole number</translation>
    </message>
    <message>
        <source>%1: %2 is too small; enter at least %3</source>
        <translation>%1: %2 is too small; enter at least %3</translation>
    </message>
</context>
<context>
    <name>quillfen::ui::TfrmProperties</name>
    <message>
        <source>워터마킹이란?</source>
        <translation>What is watermarking?</translation>
    </message>
    <message>
        <source>1. 워터마킹의 개요</source>
        <translation>1. What watermarking is for</translation>
    </message>
    <message>
        <source>인터넷과 같은 네트워크를 통해 영상, 음성, 동영상 같은 멀티미디어 데이터를 누구나 손쉽게 대량으로 복제하고 배포할 수 있게 되면서, 디지털 저작물을 만든 사람과 소유한 사람의 권리를 보호하는 일이 중요한 과제가 되었다. 디지털 워터마킹은 저작권자나 소유자를 나타내는 정보를 사람이 알아차릴 수 없도록 데이터 속에 숨겨 두는 기술이다. 분쟁이 생기면 숨겨 둔 정보를 추출하여 그 데이터의 소유권을 증명할 수 있다.</source>
        <translation>Since anyone can copy and spread pictures, sound and video over networks such as the Internet, easily and in bulk, protecting the rights of those who make and own digital works has become an important task. Digital watermarking hides information that names the author or owner inside the data, where people cannot notice it. In a dispute the hidden information is extracted to prove who owns the data.</translation>
    </message>
    <message>
        <source>2. DCT영역에서 이진 워터마크의 적응적 영상 삽입</source>
        <translation>2. Adaptive embedding of a binary watermark in the DCT domain</translation>
    </message>
    <message>
        <source>이 프로그램은 서명이나 도장처럼 눈으로 알아볼 수 있는 이진 워터마크 영상을 8×8 블록 DCT의 중간 주파수 계수의 극성을 이용하여 영상에 삽입하고 검출한다. 워터마크는 의사 난수로 흩뜨린 뒤 원 영상 블록의 분산에 따라 적응적으로 재배치하여 삽입한다. 강인성은 처리하지 않은 경우, JPEG 압축, 블러링, 크로핑 공격으로 시험한다. 워터마크가 삽입된 영상은 좋은 화질(PSNR)을 유지하며, 추출된 워터마크는 정규화 상관값(NC)과 함께 뚜렷하게 식별할 수 있다.</source>
        <translation>This program embeds a binary watermark that the eye can recognise, such as a signature or a seal, into a picture through the polarity of mid-frequency coefficients of the 8×8 block DCT, and detects it again. The watermark is scattered pseudo-randomly, then placed adaptively according to the variance of the host&apos;s blocks. Robustness is tested without processing and against JPEG compression, blurring and cropping. The watermarked picture keeps a good quality (PSNR), and the extracted watermark is clearly recognisable, with its normalized correlation (NC).</translation>
    </message>
</context>
<context>
    <name>quillfen::ui::TfrmRobustness</name>
    <message>
        <source>Hosts: </source>
        <translation>Hosts: </translation>
    </message>
    <message>
        <source>Watermark: </source>
        <translation>Watermark: </translation>
    </message>
    <message>
        <source>Seeds: </source>
        <translation>Seeds: </translation>
    </message>
    <message>
        <source>Attacks: </source>
        <translation>Attacks: </translation>
    </message>
    <message>
        <source>Calibration: </source>
        <translation>Calibration: </translation>
    </message>
    <message>
        <source>Robustness</source>
        <translation>Robustness</translation>
    </message>
    <message>
        <source>Hosts</source>
        <translation>Hosts</translation>
    </message>
    <message>
        <source>The active document&apos;s picture</source>
        <translation>The active document&apos;s picture</translation>
    </message>
    <message>
        <source>Pictures and folders:</source>
        <translation>Pictures and folders:</translation>
    </message>
    <message>
        <source>Host pictures and folders, as the command line&apos;s HOSTS: a folder gives every picture file in it (not in its subfolders)</source>
        <translation>Host pictures and folders, as the command line&apos;s HOSTS: a folder gives every picture file in it (not in its subfolders)</translation>
    </message>
    <message>
        <source>Add Picture...</source>
        <translation>Add Picture...</translation>
    </message>
    <message>
        <source>Add Folder...</source>
        <translation>Add Folder...</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>Watermark and seeds</source>
        <translation>Watermark and seeds</translation>
    </message>
    <message>
        <source>Browse...</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <source>Watermark:</source>
        <translation>Watermark:</translation>
    </message>
    <message>
        <source>Seeds and ranges of seeds, as 1..20 or 1..5,7</source>
        <translation>Seeds and ranges of seeds, such as 1..20 or 1..5,7</translation>
    </message>
    <message>
        <source>Seeds:</source>
        <translation>Seeds:</translation>
    </message>
    <message>
        <source>Calibration:</source>
        <translation>Calibration:</translation>
    </message>
    <message>
        <source>the watermark&apos;s &lt;name&gt;.calibration.json, if any</source>
        <translation>the watermark&apos;s &lt;name&gt;.calibration.json, if any</translation>
    </message>
    <message>
        <source>Threads:</source>
        <translation>Threads:</translation>
    </message>
    <message>
        <source>Read geometric cells again after registration</source>
        <translation>Read geometric cells again after registration</translation>
    </message>
    <message>
        <source>Rotated, scaled, shifted and cropped pictures are registered to X_hat and read a second time, in the *_registered columns</source>
        <translation>Rotated, scaled, shifted and cropped pictures are registered to X_hat and read a second time, in the *_registered columns</translation>
    </message>
    <message>
        <source>Attacks</source>
        <translation>Attacks</translation>
    </message>
    <message>
        <source>Cell</source>
        <translation>Cell</translation>
    </message>
    <message>
        <source>Source</source>
        <translation>Source</translation>
    </message>
    <message>
        <source>Default grid</source>
        <translation>Default grid</translation>
    </message>
    <message>
        <source>None</source>
        <translation>None</translation>
    </message>
    <message>
        <source>more cells, as real-jpeg:q=10..90:10,median:k=3,5</source>
        <translation>more cells, such as real-jpeg:q=10..90:10,median:k=3,5</translation>
    </message>
    <message>
        <source>Attacks of the catalogue:</source>
        <translation>Attacks of the catalogue:</translation>
    </message>
    <message>
        <source>More cells (any attack list):</source>
        <translation>More cells (any attack list):</translation>
    </message>
    <message>
        <source>&amp;Run</source>
        <translation>&amp;Run</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Choose the hosts, the watermark, the seeds and the attacks, then Run.</source>
        <translation>Choose the hosts, the watermark, the seeds and the attacks, then Run.</translation>
    </message>
    <message>
        <source>From the shell:</source>
        <translation>From the shell:</translation>
    </message>
    <message>
        <source>the command line of the run, once it has started</source>
        <translation>the command line of the run, once it has started</translation>
    </message>
    <message>
        <source>Double-click a row to open its attacked picture and extracted mark</source>
        <translation>Double-click a row to open its attacked picture and extracted mark</translation>
    </message>
    <message>
        <source>Table</source>
        <translation>Table</translation>
    </message>
    <message>
        <source>Attack family:</source>
        <translation>Attack family:</translation>
    </message>
    <message>
        <source>Charts</source>
        <translation>Charts</translation>
    </message>
    <message>
        <source>More cells: %1</source>
        <translation>More cells: %1</translation>
    </message>
    <message>
        <source>There is no active document: open a host picture, or list pictures and folders of them</source>
        <translation>There is no active document: open a host picture, or list pictures and folders of them</translation>
    </message>
    <message>
        <source>Add the host pictures, or folders of them</source>
        <translation>Add the host pictures, or folders of them</translation>
    </message>
    <message>
        <source>Choose the watermark picture</source>
        <translation>Choose the watermark picture</translation>
    </message>
    <message>
        <source>no attack chosen: check cells of the grid, or list more cells</source>
        <translation>No attack chosen: check cells of the grid or list more cells.</translation>
    </message>
    <message>
        <source>the host picture</source>
        <translation>the host picture</translation>
    </message>
    <message>
        <source>the watermark</source>
        <translation>the watermark</translation>
    </message>
    <message>
        <source>the calibration</source>
        <translation>the calibration</translation>
    </message>
    <message>
        <source>Cancelling: the rows already started are finished...</source>
        <translation>Cancelling: finishing the rows already started...</translation>
    </message>
    <message>
        <source>Cancelled after %1 of %2 rows</source>
        <translation>Cancelled after %1 of %2 rows</translation>
    </message>
    <message>
        <source>%1 rows</source>
        <translation>%1 rows</translation>
    </message>
    <message>
        <source>, %1 failed.</source>
        <translation>, %1 failed.</translation>
    </message>
    <message>
        <source> No calibration: no detection rates.</source>
        <translation> No calibration: no detection rates.</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is %2 of the run; it would be overwritten (choose another name)</source>
        <translation>&apos;%1&apos; is %2 of the run; it would be overwritten (choose another name)</translation>
    </message>
    <message>
        <source>Written: %1</source>
        <translation>Written: %1</translation>
    </message>
    <message>
        <source>Row %1 failed: %2</source>
        <translation>Row %1 failed: %2</translation>
    </message>
    <message>
        <source>NC (median)</source>
        <translation>NC (median)</translation>
    </message>
    <message>
        <source>score (median)</source>
        <translation>score (median)</translation>
    </message>
    <message>
        <source>detected at 1e-3</source>
        <translation>detection rate at 1e-3</translation>
    </message>
    <message>
        <source>detected at 1e-6</source>
        <translation>detection rate at 1e-6</translation>
    </message>
    <message>
        <source>NC, registered</source>
        <translation>NC, registered</translation>
    </message>
    <message>
        <source>score, registered</source>
        <translation>score, registered</translation>
    </message>
    <message>
        <source>detected at 1e-6, registered</source>
        <translation>detection rate at 1e-6, registered</translation>
    </message>
    <message>
        <source>NC (quartiles)</source>
        <translation>NC (quartiles)</translation>
    </message>
    <message>
        <source>cell</source>
        <translation>cell</translation>
    </message>
    <message>
        <source>NC, score, detection rate</source>
        <translation>NC, score, detection rate</translation>
    </message>
    <message>
        <source>NC, score</source>
        <translation>NC, score</translation>
    </message>
    <message>
        <source> (no calibration: NC only)</source>
        <translation> (no calibration: NC only)</translation>
    </message>
    <message>
        <source> (bars: Wilson 95 % intervals)</source>
        <translation> (bars: Wilson 95 % intervals)</translation>
    </message>
    <message>
        <source>%1: bit accuracy</source>
        <translation>%1: bit accuracy</translation>
    </message>
    <message>
        <source>detected at 1e-6; bit accuracy (dashed)</source>
        <translation>detection rate at 1e-6; bit accuracy (dashed)</translation>
    </message>
    <message>
        <source>: detected at 1e-6, per method (bars: Wilson 95 % intervals)</source>
        <translation>: detection rate at 1e-6, per method (bars: Wilson 95 % intervals)</translation>
    </message>
    <message>
        <source>Methods: </source>
        <translation>Methods: </translation>
    </message>
    <message>
        <source>polarity (blank-separated, as polarity qim spread-spectrum:bits=32)</source>
        <translation>polarity (several separated by spaces, such as polarity qim spread-spectrum:bits=32)</translation>
    </message>
    <message>
        <source>Methods, each as NAME or NAME:param=value,...:</source>
        <translation>Methods, each as NAME or NAME:param=value,...:</translation>
    </message>
    <message>
        <source>Methods:</source>
        <translation>Methods:</translation>
    </message>
    <message>
        <source>each method&apos;s own strength</source>
        <translation>each method&apos;s own strength</translation>
    </message>
    <message>
        <source>The embedding PSNR in dB (10..100) at which each method with a strength parameter marks each host (within 0.1 dB)</source>
        <translation>The embedding PSNR in dB (10..100) at which each method with a strength parameter marks each host (within 0.1 dB)</translation>
    </message>
    <message>
        <source>Target PSNR (dB):</source>
        <translation>Target PSNR (dB):</translation>
    </message>
    <message>
        <source>Target PSNR: &apos;%1&apos; is not a PSNR in decibels (10..100, as 38 or 40.5)</source>
        <translation>Target PSNR: &apos;%1&apos; is not a PSNR in decibels from 10 to 100 (such as 38 or 40.5)</translation>
    </message>
    <message>
        <source>Cannot make the folder %1 for the picture of the changed document</source>
        <translation>Cannot make the folder %1 for the picture of the changed document</translation>
    </message>
    <message>
        <source>The active document has changes that are not saved: the run reads its picture as it is now from %1, the file the command line names.</source>
        <translation>The active document has changes that are not saved: the run reads its picture as it is now from %1, the file the command line names.</translation>
    </message>
    <message>
        <source>1 host</source>
        <translation>1 host</translation>
    </message>
    <message>
        <source>%1 hosts</source>
        <translation>%1 hosts</translation>
    </message>
    <message>
        <source>1 seed</source>
        <translation>1 seed</translation>
    </message>
    <message>
        <source>%1 seeds</source>
        <translation>%1 seeds</translation>
    </message>
    <message>
        <source>1 cell</source>
        <translation>1 cell</translation>
    </message>
    <message>
        <source>%1 cells</source>
        <translation>%1 cells</translation>
    </message>
    <message>
        <source>1 method</source>
        <translation>1 method</translation>
    </message>
    <message>
        <source>%1 methods</source>
        <translation>%1 methods</translation>
    </message>
    <message>
        <source>Running %1 (%2)...</source>
        <translation>Running %1 (%2)...</translation>
    </message>
    <message>
        <source>1 row</source>
        <translation>1 row</translation>
    </message>
    <message>
        <source>ROC: no null side (rows of an earlier program)</source>
        <translation>ROC: the rows hold no scores of the unmarked host (rows of an earlier version)</translation>
    </message>
    <message>
        <source>The rows hold no score of the unmarked host: no ROC curve.</source>
        <translation>The rows hold no score of the unmarked host: no ROC curve.</translation>
    </message>
    <message>
        <source>chance</source>
        <translation>chance</translation>
    </message>
    <message>
        <source>no score of the unmarked host.</source>
        <translation>no score of the unmarked host.</translation>
    </message>
    <message>
        <source>%1 (AUC %2)</source>
        <translation>%1 (AUC %2)</translation>
    </message>
    <message>
        <source>at the 1e-3 threshold</source>
        <translation>at the 1e-3 threshold</translation>
    </message>
    <message>
        <source>at the 1e-6 threshold</source>
        <translation>at the 1e-6 threshold</translation>
    </message>
    <message>
        <source>%1 at 1e-6</source>
        <translation>%1 at the 1e-6 threshold</translation>
    </message>
    <message>
        <source>AUC %1 over %2 marked and %3 unmarked pictures.</source>
        <translation>AUC %1 over %2 marked and %3 unmarked pictures.</translation>
    </message>
    <message>
        <source> Marked pictures found: %1 at 1e-3, %2 at 1e-6; unmarked ones taken for marked: %3 at 1e-3, %4 at 1e-6.</source>
        <translation> Marked pictures found: %1 at 1e-3, %2 at 1e-6; unmarked ones taken for marked: %3 at 1e-3, %4 at 1e-6.</translation>
    </message>
    <message>
        <source>true-positive rate</source>
        <translation>true-positive rate</translation>
    </message>
    <message>
        <source>ROC, %1, per method</source>
        <translation>ROC, %1, per method</translation>
    </message>
    <message>
        <source>ROC, %1: AUC %2</source>
        <translation>ROC, %1: AUC %2</translation>
    </message>
    <message>
        <source>Cop&amp;y</source>
        <translation>Cop&amp;y</translation>
    </message>
    <message>
        <source>Copy the command line, to paste it into a shell</source>
        <translation>Copy the command line, to paste it into a shell</translation>
    </message>
    <message>
        <source>Export &amp;CSV...</source>
        <translation>Export &amp;CSV...</translation>
    </message>
    <message>
        <source>Export &amp;JSON Lines...</source>
        <translation>Export &amp;JSON Lines...</translation>
    </message>
    <message>
        <source>Export &amp;HTML Report...</source>
        <translation>Export &amp;HTML Report...</translation>
    </message>
    <message>
        <source> Below 0.5: an inverted mark (the marked pictures score below the unmarked ones).</source>
        <translation> Below 0.5: an inverted mark (the marked pictures score below the unmarked ones).</translation>
    </message>
    <message>
        <source>false-positive rate, log (own host unmarked)</source>
        <translation>false-positive rate, log (own host unmarked)</translation>
    </message>
</context>
</TS>
