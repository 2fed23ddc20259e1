#include "ui/mdi_child.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QMdiSubWindow>
#include <QMenu>
#include <QScrollArea>
#include <QVBoxLayout>

#include "image/user_prompts.h"
#include "ui/about_dialog.h"
#include "ui/main_window.h"
#include "ui/picture_view.h"

namespace quillfen::ui {

TMDIChild::TMDIChild(TfrmMain& frame, QWidget* parent) : QWidget(parent), frame_(frame) {
    setObjectName(QStringLiteral("MDIChild"));
    setWindowTitle(QStringLiteral("MDI Child"));
    setAttribute(Qt::WA_DeleteOnClose);  // closing destroys the window, never hides it

    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(false);
    scroll_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    imgFile = new PictureView(true);
    imgFile->setObjectName(QStringLiteral("imgFile"));
    imgFile->resize(0, 0);
    scroll_->setWidget(imgFile);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll_);

    CreateWatermarkMenus();
    CreatePopupMenu();
    ConnectWatermarkCommands();
    ConnectToolboxCommands();
    // The picture carries the popup menu of image-processing commands: a right click on it
    // opens the menu where the mouse is.
    imgFile->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(imgFile, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupMnu->popup(imgFile->mapToGlobal(pos)); });
    FormCreate();
}

TMDIChild::~TMDIChild() {
    // The menus have no parent widget of their own while they sit in the frame's menu bar.
    qDeleteAll(MainMenu1);
    delete PopupMnu;
}

void TMDIChild::FormCreate() {
    FWatermark = std::make_unique<TWatermark>();
    FIpa = std::make_unique<TRixIPA>();
    UncheckAll();
}

const Bitmap& TMDIChild::Picture() const { return imgFile->Picture(); }

void TMDIChild::SetPicture(Bitmap picture) { imgFile->SetPicture(std::move(picture)); }

void TMDIChild::SizeToPicture() {
    const QSize client(Picture().width(), Picture().height());
    auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (sub == nullptr) {
        resize(client);
        return;
    }
    const QSize decoration = sub->size() - size();
    sub->resize(client.expandedTo(QSize(1, 1)) + decoration);
}

QAction* TMDIChild::StepAction(const char* name, const QString& caption) {
    auto* action = new QAction(caption, this);
    action->setObjectName(QString::fromLatin1(name));
    action->setCheckable(true);
    // Qt toggles a checkable action before `triggered`; the step marks record only what the
    // commands did, so the toggle is taken back at once.
    connect(action, &QAction::triggered, action, [action](bool checked) { action->setChecked(!checked); });
    ActionList2 << action;
    return action;
}

void TMDIChild::CreateWatermarkMenus() {
    TfrmMain& f = frame_;
    mnuFile = new QMenu(QStringLiteral("&File"));
    mnuFile->addActions({f.FileOpen1, f.FileSave1, f.FileSaveAs1});
    mnuFile->addSeparator();
    mnuFile->addActions({f.Print1, f.PageSetup1});
    mnuFile->addSeparator();
    mnuFile->addAction(f.FileExit1);

    mnuEmbedment = new QMenu(QStringLiteral("Watermark Embedment"));
    actLoadW = StepAction("actLoadW", QStringLiteral("Load Watermark (W)"));
    actGetWr = StepAction("actGetWr", QStringLiteral("Get Wr ( Pseudo Random)"));
    actGetWa = StepAction("actGetWa", QStringLiteral("Get Wa ( Adaptive )"));
    actGetY = StepAction("actGetY", QStringLiteral("Get Y ( = FDCT(X) )"));
    actGetYr = StepAction("actGetYr", QStringLiteral("Get Yr ( = Reduce Y)"));
    actGetP = StepAction("actGetP", QStringLiteral("Get P ( = Polarity Yr )"));
    actGetP_hat = StepAction("actGetP_hat", QStringLiteral("Get P_hat ( = XOR(P, Wa) )"));
    actGetYr_hat = StepAction("actGetYr_hat", QStringLiteral("Get Yr_hat ( = Expand P_hat )"));
    actGetY_hat = StepAction("actGetY_hat", QStringLiteral("Get Y_hat ( = Map Yr_hat to Y_hat )"));
    actGetX_hat = StepAction("actGetX_hat", QStringLiteral("Get X_hat ( = IDCT (Y_hat) )"));
    actGetPSNR_Diff = StepAction("actGetPSNR_Diff", QStringLiteral("Get PSNR,  Difference Between  X and X_hat"));
    // The action's own caption differs from its menu item's.
    actGetPSNR_Diff->setProperty("caption", QStringLiteral("Get PSNR & Difference Between  X and X_hat"));
    actSaveX_hat = StepAction("actSaveX_hat", QStringLiteral("Save X_hat to Bitmap File"));
    actSaveX_hat->setVisible(false);  // its menu item is hidden
    mnuEmbedment->addAction(actLoadW);
    mnuEmbedment->addSeparator();
    mnuEmbedment->addActions({actGetWr, actGetWa});
    mnuEmbedment->addSeparator();
    mnuEmbedment->addActions({actGetY, actGetYr, actGetP, actGetP_hat, actGetYr_hat, actGetY_hat, actGetX_hat});
    mnuEmbedment->addSeparator();
    mnuEmbedment->addActions({actGetPSNR_Diff, actSaveX_hat});

    mnuImageProcessing = new QMenu(QStringLiteral("Image Processing"));
    actIPCopyXhToXw = StepAction("actIPCopyXhToXw", QStringLiteral("No Attack to X_hat"));
    actIPApplyJpeg = StepAction("actIPApplyJpeg", QStringLiteral("Apply Jpeg to X_hat"));
    actIPApplyBlurring = StepAction("actIPApplyBlurring", QStringLiteral("Apply Blurring to X_hat"));
    actIPApplyCroppingByZeroInQuarter = StepAction("actIPApplyCroppingByZeroInQuarter",
                                                   QStringLiteral("Apply Cropping to X_hat with Zero Quarter"));
    actIPApplyCroppingByImgInQuarter = StepAction("actIPApplyCroppingByImgInQuarter",
                                                  QStringLiteral("Apply Cropping to X_hat with Image quarter"));
    actIPApplyCroppingByZeroInHalf = StepAction("actIPApplyCroppingByZeroInHalf",
                                                QStringLiteral("Apply Cropping to X_hat with Zero Half"));
    actIpApplyCroppingByImgInHalf = StepAction("actIpApplyCroppingByImgInHalf",
                                               QStringLiteral("Apply Cropping to X_hat with Image Half"));
    mnuImageProcessing->addAction(actIPCopyXhToXw);
    mnuImageProcessing->addSeparator();
    mnuImageProcessing->addActions({actIPApplyJpeg, actIPApplyBlurring, actIPApplyCroppingByZeroInQuarter,
                                    actIPApplyCroppingByImgInQuarter, actIPApplyCroppingByZeroInHalf,
                                    actIpApplyCroppingByImgInHalf});

    mnuExtraction = new QMenu(QStringLiteral("Watermark Extraction"));
    actGetY_wave = StepAction("actGetY_wave", QStringLiteral("Get Y ( = FDCT(X_wave) )"));
    actGetYr_wave = StepAction("actGetYr_wave", QStringLiteral("Get Yr_wave ( = Reduce (Y_wave) )"));
    actGetP_wave = StepAction("actGetP_wave", QStringLiteral("Get P_wave ( =  Polarity( Yr_wave) )"));
    actGetWa_wave = StepAction("actGetWa_wave", QStringLiteral("Get Wa_wave ( = XOR(P, P_wave) )"));
    actGetWr_wave = StepAction("actGetWr_wave", QStringLiteral("Get Wr_wave ( reverse adaptive )"));
    actGetW_wave = StepAction("actGetW_wave", QStringLiteral("Get W_wave ( reverse random number )"));
    actGetNC = StepAction("actGetNC", QStringLiteral("Get Normalized Correlation"));
    actSaveW_wave = StepAction("actSaveW_wave", QStringLiteral("Save W_wave to File"));
    actSaveW_wave->setVisible(false);  // its menu item is hidden
    mnuExtraction->addActions({actGetY_wave, actGetYr_wave, actGetP_wave, actGetWa_wave, actGetWr_wave, actGetW_wave});
    mnuExtraction->addSeparator();
    mnuExtraction->addActions({actGetNC, actSaveW_wave});

    mnuWindow = new QMenu(QStringLiteral("&Window"));
    mnuWindow->addActions({f.WindowTileHorizontal1, f.WindowTileVertical1, f.WindowCascade1, f.WindowArrangeAll1});
    mnuWindow->addSeparator();
    mnuWindow->addAction(f.WindowMinimizeAll1);
    mnuShow = mnuWindow->addAction(QStringLiteral("&Show..."));  // no command behind it
    mnuShow->setObjectName(QStringLiteral("mnuShow"));
    const int fixedItems = static_cast<int>(mnuWindow->actions().size());
    connect(mnuWindow, &QMenu::aboutToShow, this, [this, fixedItems] { frame_.FillWindowList(mnuWindow, fixedItems); });

    MainMenu1 = {mnuFile, mnuEmbedment, mnuImageProcessing, mnuExtraction, mnuWindow};

    embedding_ = {actLoadW, actGetWr, actGetWa, actGetY, actGetYr, actGetP, actGetP_hat, actGetYr_hat,
                  actGetY_hat, actGetX_hat, actGetPSNR_Diff, actSaveX_hat};
    extraction_ = {actGetY_wave, actGetYr_wave, actGetP_wave, actGetWa_wave, actGetWr_wave, actGetW_wave,
                   actGetNC, actSaveW_wave};
    attacks_ = {actIPCopyXhToXw, actIPApplyJpeg, actIPApplyBlurring, actIPApplyCroppingByZeroInQuarter,
                actIPApplyCroppingByImgInQuarter, actIPApplyCroppingByZeroInHalf, actIpApplyCroppingByImgInHalf};

}

void TMDIChild::pmnAboutClick() {
    if (frame_.frmAbout() != nullptr) frame_.frmAbout()->exec();
}

void TMDIChild::UncheckEmbedding() {
    for (QAction* a : embedding_) a->setChecked(false);
}

void TMDIChild::UncheckExtraction() {
    for (QAction* a : extraction_) a->setChecked(false);
}

void TMDIChild::UncheckAttacks() {
    for (QAction* a : attacks_) a->setChecked(false);
}

void TMDIChild::UncheckAll() {
    UncheckEmbedding();
    UncheckExtraction();
    UncheckAttacks();
}

bool TMDIChild::AnyAttackChecked() const {
    for (QAction* a : attacks_) {
        if (a->isChecked()) return true;
    }
    return false;
}

QAction* TMDIChild::Action(const QString& name) const {
    for (const QList<QAction*>* list : {&ActionList1, &ActionList2}) {
        for (QAction* a : *list) {
            if (a->objectName() == name) return a;
        }
    }
    return nullptr;
}

void TMDIChild::CreatePopupMenu() {
    PopupMnu = new QMenu;
    PopupMnu->setObjectName(QStringLiteral("PopupMnu"));
    // An entry with an action name is a command of ActionList1; one without is a plain caption.
    auto act = [this](QMenu* menu, const char* name, const char* caption, const char* category) {
        auto* action = new QAction(QString::fromUtf8(caption), this);
        action->setObjectName(QString::fromLatin1(name));
        action->setProperty("category", QString::fromLatin1(category));
        ActionList1 << action;
        if (menu != nullptr) menu->addAction(action);
        return action;
    };
    auto plain = [](QMenu* menu, std::initializer_list<const char*> captions) {
        for (const char* caption : captions) menu->addAction(QString::fromUtf8(caption));
    };
    QMenu* m = PopupMnu;
    m->addAction(QStringLiteral("Image Size"));
    m->addSeparator();

    QMenu* seg = m->addMenu(QStringLiteral("Segmentation (Threshold)"));
    act(seg, "Mean1S", "Mean", "Segmentation");
    act(seg, "PTile1S", "P-Tile", "Segmentation");
    act(seg, "Twopeaks1S", "Twopeaks", "Segmentation");
    act(seg, "Laplacian1S", "Laplacian", "Segmentation");
    act(seg, "IterativeSelection1S", "Iterative Selection", "Segmentation");
    act(seg, "GrayLevelHistogram1S", "GrayLevel Histogram", "Segmentation");
    QMenu* entropy = seg->addMenu(QStringLiteral("Entropy"));
    act(entropy, "Johannsen1E", "Johannsen", "Entropy1S");
    act(entropy, "Kapur1E", "Kapur", "Entropy1S");
    act(entropy, "Pun1E", "Pun", "Entropy1S");
    QMenu* fuzzy = seg->addMenu(QStringLiteral("Fuzzy Set"));
    act(fuzzy, "Shannon1FS", "Shannon", "FuzzySet1S");
    act(fuzzy, "Yager1FS", "Yager", "FuzzySet1S");
    act(seg, "MinimumError1S", "Minimum Error", "Segmentation");
    act(seg, "MovingAverage1S", "Moving Average", "Segmentation");
    act(seg, "Relaxation1S", "Relaxation", "Segmentation");

    QMenu* hist = m->addMenu(QStringLiteral("Histogram"));
    act(hist, "ViewHistogram1H", "View Histogram", "Histogram");
    act(hist, "Equalization1H", "Equalization", "Histogram");
    act(hist, "Specification1H", "Specification", "Histogram");
    act(hist, "AutoContrastStretch1H", "AutoContrastStretch", "Histogram");
    act(hist, "EndsInContrast1H", "EndsInContrast", "Histogram");

    QMenu* edge = m->addMenu(QStringLiteral("Edge Detection"));
    QMenu* gradient = edge->addMenu(QStringLiteral("Gradient"));
    act(gradient, "GeneralOperator1G1E", "General Operator", "Gradient1E");
    act(gradient, "RobertsOperator1G1E", "Roberts Operator", "Gradient1E");
    act(gradient, "PrewittOperator1G1E", "Prewitt Operator", "Gradient1E");
    act(gradient, "SobelOperator1G1E", "Sobel Operator", "Gradient1E");
    act(gradient, "FreiChen1G1E", "FreiChen", "Gradient1E");
    act(gradient, "GeneralVerticalOperator1G1E", "General Vertical Operator", "Gradient1E");
    act(gradient, "GeneralHOrizontalOperator1G1E", "General HOrizontal Operator", "Gradient1E");
    QMenu* laplacian = edge->addMenu(QStringLiteral("Laplacian"));
    act(laplacian, "Laplacian1L1E", "Laplacian1", "Laplacian1E");
    act(laplacian, "Laplacian2L1E", "Laplacian2", "Laplacian1E");
    act(laplacian, "Laplacian3L1E", "Laplacian3", "Laplacian1E");
    plain(edge->addMenu(QStringLiteral("Template Matching")), {"Prewitt", "Hueckel"});
    act(edge, "Canny1e", "Canny", "EdgeDetection");
    act(edge, "Shen_Castan1e", "Shen_Castan", "EdgeDetection");
    act(edge, "Marr_Hildreth1e", "Marr_Hildreth", "EdgeDetection");
    act(edge, "HoughTransform1E", "Hough Transform", "EdgeDetection");

    QMenu* thin = m->addMenu(QStringLiteral("Thinning"));
    act(thin, "Hilditch1T", "Hilditch", "Thinning");
    act(thin, "Medial_AxisTransform1T", "Medial_AxisTransform", "Thinning");
    act(thin, "IterativeMorphological1T", "IterativeMorphological", "Thinning");
    act(thin, "Stentiford_Holt_Zhang_Suen1T", "Stentiford_Holt_Zhang_Suen", "Thinning");
    act(thin, "Zhang_Suen1T", "Zhang_Suen", "Thinning");

    QMenu* noise = m->addMenu(QStringLiteral("Noise Removement"));
    act(noise, "Mean1NR", "Mean", "NoiseRemovement");
    act(noise, "MedianFilter1NR", "MedianFilter", "NoiseRemovement");
    act(noise, "Contraction1NR", "Contraction", "NoiseRemovement");
    act(noise, "Expansion1NR", "Expansion", "NoiseRemovement");

    QMenu* feature = m->addMenu(QStringLiteral("Feature Detection"));
    act(feature, "Labeling1FD", "Labeling", "FeatureDetection");
    plain(feature->addMenu(QStringLiteral("Feature parameter")), {"Size", "Ratio", "Round length", "Center"});

    QMenu* texture = m->addMenu(QStringLiteral("Texture"));
    plain(texture->addMenu(QStringLiteral("Co-occurency")),
          {"Maximum Probability", "Moments", "Contrast", "Homogeneity", "Entropy", "Mean"});

    QMenu* restoration = m->addMenu(QStringLiteral("Image Restoration"));
    plain(restoration->addMenu(QStringLiteral("Frequency Processing")),
          {"Discreate Fourier Transform", "Fast Fourier Transform", "Inverse Fourier Transform",
           "Two-Dimensional Fourier Transform", "Creating Artificial Blur"});
    plain(restoration->addMenu(QStringLiteral("Filtering")),
          {"Inverse Filter", "Wiener Filter", "Structured Noise", "Montion Blur-Special Case", "Homomorphie Filter"});

    plain(m->addMenu(QStringLiteral("Geometrical Transform")),
          {"Size Transform", "Location Transform", "Rotation Transform", "Projection Transform"});
    plain(m->addMenu(QStringLiteral("Image Compression")), {"Run-Length EnCoding", "DPCM", "Variable Encoding"});

    QMenu* etc = m->addMenu(QStringLiteral("Etc Algorithm"));
    plain(etc, {"Constrast"});
    act(etc, "Inverse1E", "Inverse", "Etc");

    // Actions of the list that are on no menu.
    act(nullptr, "Prewitt1TM1E", "Prewitt", "TemplateMatching1E");
    act(nullptr, "Hueckel1TM1E", "Hueckel", "TemplateMatching1E");
    act(nullptr, "Smoothing1NR", "Smoothing", "NoiseRemovement");

    // Actions kept for operations this laboratory does not offer: no handler, no menu entry,
    // the caption is the name.
    for (const char* name :
         {"Size1FP", "FeatureParameter1FD", "Ratio1FP", "RoundLength1FP", "Center1FP", "FrequencyProcessing1IR",
          "DiscreteFourierTransform1FP", "FastFourierTransform1FP", "InverseFourierTransform1FP",
          "TwoDimensionalFourierTransform1FP", "CreatingArtificialBlur1FP", "Filtering1IR", "InverseFilter1F",
          "WienerFilter1F", "StructuredNoise1F", "MontionBlur_SpecialCase1F", "HomomorphieFilter1F", "Cooccurency1T",
          "MaximumProbability1CO", "Moments1CO", "Contrast1CO", "Homogeneity1CO", "Entropy1CO", "Mean1CO",
          "SizeTransform1GT", "LocationTranform1GT", "RotationTransform1GT", "ProjectionTranform1GT",
          "RunLengthEdcoding1IC", "DPCM1IC", "VariableEncoding1IC", "Constrast1E"}) {
        act(nullptr, name, name, "");
    }
    Action(QStringLiteral("FeatureParameter1FD"))->setText(QStringLiteral("FeatureParameter"));
}

}  // namespace quillfen::ui
