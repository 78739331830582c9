#include "app/ConvertForm.h"

#include <algorithm>
#include <utility>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include "app/FileInfoForm.h"
#include "app/MessageBoxes.h"
#include "app/MpegJobStart.h"
#include "app/MpegSettingDialogs.h"
#include "app/PreviewForm.h"
#include "app/WindowShape.h"
#include "app/controls/TImageList.h"
#include "app/controls/TTransparentButton.h"
#include "app/logic/EngineLibraries.h"
#include "app/logic/SkinFolder.h"
#include "movbridge/IMovbridge.h"
#include "platform/window/PreviewWindow.h"

namespace reelcast::app {
namespace {

// The window whose bridge events arrive through the notification function,
// which carries no context of its own.
TfrmConvert* g_bridgeWindow = nullptr;

void MovbridgeNotifyProc(std::int32_t, const std::int32_t* event) {
    if (g_bridgeWindow && event) g_bridgeWindow->HandleBridgeEvent(event[0], event[1]);
}

// The conversion window as a target of the window layer: it takes work queued to
// its thread (the bridge's events) and shows no pictures.
class QueuedWorkTarget final : public platform::IPreviewSurface {
public:
    explicit QueuedWorkTarget(QObject* window) : window_(window) { platform::RegisterSurface(this); }
    ~QueuedWorkTarget() override { platform::UnregisterSurface(this); }
    bool IsVisible() const override { return false; }
    void Present(const std::uint8_t*, std::uint32_t) override {}
    bool Post(void (*task)(void*), void* ctx) override {
        return QMetaObject::invokeMethod(window_, [task, ctx] { task(ctx); }, Qt::QueuedConnection);
    }

private:
    QObject* window_;
};

const QRgb kCutOut = qRgb(255, 0, 255);

// A skinned button with three faces of the given strip (normal, pressed, hot) in
// its own image list, or in `list` when given.
TTransparentButton* SkinnedButton(QWidget* parent, const QImage& faces, int width, int height,
                                  TImageList* list = nullptr) {
    auto* b = new TTransparentButton(parent);
    b->SetFrameStyle(fsNone);
    b->SetNumGlyphs(kButtonFaceCount);
    b->SetImageList(list ? list : new TImageList(b, width, height));
    b->AddGlyphs(faces, kCutOut);
    return b;
}

template <class W>
W* Place(W* w, const char* name, int left, int top, int width, int height) {
    w->setObjectName(name);
    w->setGeometry(left, top, width, height);
    return w;
}

// The places were measured for a small 8-point Windows font; the desktop's
// fonts run wider. A caption sizes itself to its text like the form library's
// labels, shrinking its font only as far as the room before its neighbour needs.
void FitCaption(QLabel* l, int right) {
    constexpr int kLargestPixels = 11;
    constexpr int kSmallestPixels = 9;
    QFont f = l->font();
    f.setPixelSize(kLargestPixels);
    const int room = right - l->x();
    while (f.pixelSize() > kSmallestPixels && QFontMetrics(f).horizontalAdvance(l->text()) > room)
        f.setPixelSize(f.pixelSize() - 1);
    l->setFont(f);
    l->resize(std::min(room, QFontMetrics(f).horizontalAdvance(l->text()) + 1), l->height());
}

QLabel* Caption(QWidget* parent, const char* name, const char* text, int left, int top, int width, int height,
                int right = 0) {
    auto* l = Place(new QLabel(text, parent), name, left, top, width, height);
    l->setStyleSheet("color: white;");
    if (right > 0) {
        l->setProperty("captionRight", right);
        FitCaption(l, right);
    }
    return l;
}

std::string Text(const QLineEdit* e) { return e->text().toStdString(); }

}  // namespace

TfrmConvert::TfrmConvert(QWidget* parent) : QDialog(parent, Qt::FramelessWindowHint | Qt::Window) {
    setObjectName("frmConvert");
    setWindowTitle("Vantor Convert");
    setModal(true);
    FormCreate();
}

TfrmConvert::~TfrmConvert() {
    if (g_bridgeWindow == this) g_bridgeWindow = nullptr;
    // Jobs first: their workers may still call the callbacks.
    bridge_.reset();
    if (aviJob_) aviJob_->Cancel();
    ReleaseHandlingEvents(aviJob_);
    cancelRequested_ = true;
    ReleaseHandlingEvents(mpegJob_);
    delete frmPreview_;
}

void TfrmConvert::FormCreate() {
    aviCallback_ = std::make_unique<CMACallBack>(*this, cancelRequested_);
    mpegCallback_ = std::make_unique<COmbrixCallback>(*this, cancelRequested_);
    settingDialogs_ = std::make_unique<MpegSettingDialogs>();
    frmPreview_ = new TfrmPreview;
    connect(frmPreview_, &TfrmPreview::closed, this, [this] { CheckBox1->setChecked(false); });
    bridgeTarget_ = std::make_unique<QueuedWorkTarget>(this);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(10);
    connect(Timer1, &QTimer::timeout, this, &TfrmConvert::Timer1Timer);

    const QImage picture = ConvertWindowPicture();
    Image1 = Place(new QLabel(this), "Image1", 0, 0, picture.width(), picture.height());
    Image1->setPixmap(QPixmap::fromImage(picture));
    Image1->installEventFilter(this);

    Label_Title = Caption(this, "Label_Title", "", 5, 6, 72, 15, 127);
    CheckBox1 = Place(new QCheckBox(this), "CheckBox1", 129, 6, 14, 18);
    connect(CheckBox1, &QCheckBox::toggled, this, &TfrmConvert::CheckBox1Click);
    Label3 = Caption(this, "Label3", "Preview", 146, 8, 38, 13, 296);
    TransparentButton1 = Place(SkinnedButton(this, CloseButtonFaces(), 13, 15), "TransparentButton1", 298, 6, 13, 15);
    connect(TransparentButton1, &TTransparentButton::OnClick, this, &TfrmConvert::TransparentButton1Click);

    Label1 = Caption(this, "Label1", "Input File", 7, 31, 43, 13, 61);
    Edit_InputFile = Place(new QLineEdit(this), "Edit_InputFile", 62, 30, 162, 22);
    Edit_InputFile->setToolTip("Input source file path and name");
    connect(Edit_InputFile, &QLineEdit::textChanged, this, &TfrmConvert::Edit_InputFileChange);
    btnOpen = Place(new QToolButton(this), "btnOpen", 224, 28, 16, 22);
    btnOpen->setText("...");
    connect(btnOpen, &QToolButton::clicked, this, &TfrmConvert::btnOpenClick);
    btnInfo = Place(SkinnedButton(this, InfoButtonFaces(), 24, 24), "btnInfo", 266, 26, 24, 24);
    connect(btnInfo, &TTransparentButton::OnClick, this, &TfrmConvert::btnInfoClick);

    Label2 = Caption(this, "Label2", "Output File", 7, 57, 51, 13, 61);
    Label1->setFont(Label2->font());  // the two captions of one column read alike
    Edit_OutputFile = Place(new QLineEdit(this), "Edit_OutputFile", 62, 55, 162, 22);
    Edit_OutputFile->setToolTip("Input destination file path and name");
    btnSave = Place(new QToolButton(this), "btnSave", 224, 54, 16, 22);
    btnSave->setText("...");
    connect(btnSave, &QToolButton::clicked, this, &TfrmConvert::btnSaveClick);
    ImageList_Convert = new TImageList(this, kConvertFaceWidth, kConvertFaceHeight);
    ImageList_Convert->setObjectName("ImageList_Convert");
    ImageList_Cancel = new TImageList(this, kConvertFaceWidth, kConvertFaceHeight);
    ImageList_Cancel->setObjectName("ImageList_Cancel");
    btnConvert = SkinnedButton(this, ConvertButtonFaces(ConvertFace::Stop), kConvertFaceWidth, kConvertFaceHeight,
                               ImageList_Cancel);
    btnConvert->SetImageList(ImageList_Convert);
    btnConvert->AddGlyphs(ConvertButtonFaces(ConvertFace::Start), kCutOut);
    Place(btnConvert, "btnConvert", 247, 51, kConvertFaceWidth, kConvertFaceHeight);
    connect(btnConvert, &TTransparentButton::OnMouseDown, this, &TfrmConvert::btnConvertMouseDown);
    connect(btnConvert, &TTransparentButton::OnClick, this, &TfrmConvert::btnConvertClick);

    ProgressBar1 = Place(new QProgressBar(this), "ProgressBar1", 5, 82, 239, 24);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setTextVisible(false);
    Label_Percent = Caption(this, "Label_Percent", kProgressReset, 261, 88, 29, 13);
    Label_Percent->setMinimumWidth(40);
    Label_Percent->resize(48, 13);

    setFixedSize(picture.size());
    // Magenta is cut out of the window.
    shape_ = ShapeFromPicture(picture).value_or(QRegion(rect()));
    setMask(shape_);
    SetConvertFaces(ConvertFace::Start);
}

void TfrmConvert::ShowForEntry(ConvertEntry entry, QWidget* mainWindow) {
    const ConvertModeInfo& m = ModeInfo(entry);
    if (m.convertMode != kModeUnchanged) convertMode_ = m.convertMode;
    useMovbridge_ = m.useMovbridge;
    title_ = m.title;
    openFilter_ = m.openFilter;
    saveFilter_ = m.saveFilter;
    defaultExt_ = m.defaultExt;
    Label_Title->setText(m.title);
    FitCaption(Label_Title, Label_Title->property("captionRight").toInt());
    mainWindow_ = mainWindow;

    // Centred on the screen, with room above for the preview window.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        const int previewRoom = frmPreview_->frameGeometry().height() + 5;
        const int top = std::max(area.top() + previewRoom, area.center().y() - height() / 2);
        move(area.center().x() - width() / 2, top);
    }
    exec();
}

void TfrmConvert::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (mainWindow_) mainWindow_->hide();
    const Point at = PreviewPosition({x(), y()}, width(), frmPreview_->frameGeometry().width(),
                                     frmPreview_->frameGeometry().height());
    frmPreview_->move(at.x, at.y);
    ProgressBar1->setValue(0);
    Label_Percent->setText(kProgressReset);
    Edit_InputFile->clear();
    Edit_OutputFile->clear();
    btnInfo->setEnabled(true);
    SetConvertFaces(ConvertFace::Start);
    halfHeight_ = 0;
    SetShapeBand(0);
    Timer1->start();
}

void TfrmConvert::Timer1Timer() {
    halfHeight_ = UnfoldStep(halfHeight_, height());
    SetShapeBand(halfHeight_);
    if (halfHeight_ == height() / 2) {
        Timer1->stop();
        setMask(shape_);
        CheckBox1->setChecked(true);
        if (!frmPreview_->isVisible()) CheckBox1Click(true);
    }
}

void TfrmConvert::SetShapeBand(int halfHeight) {
    const Band band = VisibleBand(halfHeight, height());
    setMask(shape_.intersected(QRect(0, band.top, width(), band.bottom - band.top)));
}

void TfrmConvert::Fold() {
    Timer1->stop();
    for (int half = height() / 2; half > 0;) {
        half = FoldStep(half);
        SetShapeBand(half);
        repaint();
        QThread::msleep(10);
    }
}

void TfrmConvert::CheckBox1Click(bool checked) {
    if (checked) {
        frmPreview_->LoadWelcome(QString::fromStdString(SkinFolder()));
        frmPreview_->show();
    } else if (frmPreview_->isVisible()) {
        frmPreview_->close();
    }
}

void TfrmConvert::btnOpenClick() {
    QFileDialog dlg(this, "Open", QFileInfo(Edit_InputFile->text()).path());
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    QStringList filters;
    for (const std::string& f : DialogFilters(openFilter_)) filters << QString::fromStdString(f);
    dlg.setNameFilters(filters);
    dlg.setDefaultSuffix(QString::fromStdString(defaultExt_));
    dlg.setFileMode(QFileDialog::ExistingFile);
    if (dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty())
        Edit_InputFile->setText(dlg.selectedFiles().first());
}

void TfrmConvert::btnSaveClick() {
    QFileDialog dlg(this, "Save", QFileInfo(Edit_OutputFile->text()).path());
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    // The overwrite question comes when converting starts.
    dlg.setOption(QFileDialog::DontConfirmOverwrite);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    QStringList filters;
    for (const std::string& f : DialogFilters(saveFilter_)) filters << QString::fromStdString(f);
    dlg.setNameFilters(filters);
    dlg.setDefaultSuffix(QString::fromStdString(defaultExt_));
    if (dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty())
        Edit_OutputFile->setText(dlg.selectedFiles().first());
}

void TfrmConvert::btnInfoClick() { ShowFileInfo(this, Edit_InputFile->text()); }

void TfrmConvert::Edit_InputFileChange(const QString& text) {
    if (!QFileInfo(text).isFile()) return;
    const std::string input = text.toStdString();
    if (SwitchesToBridge(convertState_, convertMode_, useMovbridge_, input)) useMovbridge_ = true;
    const std::string output = ProposedOutput(input, title_, useMovbridge_);
    if (!output.empty()) Edit_OutputFile->setText(QString::fromStdString(output));
}

void TfrmConvert::btnConvertMouseDown() {
    if (convertState_ != ConvertState::Converting) Label_Percent->setText(kLoading);
}

void TfrmConvert::btnConvertClick() {
    if (closing_) return;
    const std::string input = Text(Edit_InputFile);
    const std::string output = Text(Edit_OutputFile);
    if (input.empty() || output.empty()) {
        ShowBox({input.empty() ? kNoInputFile : kNoOutputFile, "Error", MessageIcon::Error});
        if (convertState_ != ConvertState::Converting) Label_Percent->setText(kProgressReset);
        return;
    }
    if (convertState_ == ConvertState::Converting) {
        StopConversion();
        return;
    }

    // The file the conversion will write, which the question is about.
    const std::string written = WrittenOutput(convertMode_, useMovbridge_, output);
    if (OutputExists(written)) {
        if (ShowMessage(this, kOverwriteQuestion, "Confirm", MessageIcon::Warning,
                        QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
            Label_Percent->setText(kProgressReset);
            return;
        }
        if (!emptiedOutput_.Empty(written)) {
            ShowBox({LockedOutputMessage(written), "Error", MessageIcon::Error});
            Label_Percent->setText(kProgressReset);
            return;
        }
    }
    cancelRequested_ = false;
    writtenOutput_ = written;

    bool started = false;
    if (useMovbridge_) {
        started = StartMovbridge(input, output);
    } else if (convertMode_ == kModeAllToDivx && IsRefusedByDivx(input)) {
        ShowBox({kUseAllToAvi, "Stop", MessageIcon::Information});
    } else if (convertMode_ == kModeAllToAvi || convertMode_ == kModeAllToDivx) {
        started = StartAviJob(input, output);
    } else {
        started = StartMpeg(input, output);
    }
    if (!started) {
        // The emptied file would be all the user is left with.
        emptiedOutput_.RemoveIfUnwritten();
        Label_Percent->setText(kProgressReset);
        return;
    }
    convertState_ = ConvertState::Converting;
    SetConvertFaces(ConvertFace::Stop);
    btnInfo->setEnabled(false);
    frmPreview_->ShowPicture(false);
}

void TfrmConvert::StopConversion() {
    if (useMovbridge_) {
        if (bridge_) bridge_->StopConversion();
        EnterIdle();
        frmPreview_->ShowPicture(true);
        return;
    }
    if (convertMode_ == kModeAllToAvi || convertMode_ == kModeAllToDivx) {
        if (aviJob_) aviJob_->Cancel();
    } else {
        cancelRequested_ = true;
    }
    convertState_ = ConvertState::Stopping;
    SetConvertFaces(ConvertFace::Start);
    btnInfo->setEnabled(true);
    frmPreview_->ShowPicture(true);
}

void TfrmConvert::WaitForAviWorker() {
    if (!aviJob_ || aviJob_->WaitForWorker(0)) return;
    ReleaseHandlingEvents([](void* job) { static_cast<IAviConversionJob*>(job)->WaitForWorker(-1); },
                          aviJob_.get());
}

bool TfrmConvert::StartAviJob(const std::string& input, const std::string& output) {
    if (!aviJob_) aviJob_ = NewAviJob();
    if (!aviJob_) return false;
    WaitForAviWorker();
    aviJob_->SetSourceFile(input.c_str());
    aviJob_->SetTargetFile(output.c_str());
    aviJob_->SetPreviewWindow(frmPreview_->handle());
    aviJob_->SetCodecFamily(convertMode_ == kModeAllToAvi ? 0 : 1);
    aviJob_->SetCallback(aviCallback_.get());
    aviJob_->StartWithOptions(this);
    // No worker now means the options dialog was dismissed: nothing started.
    return !aviJob_->WaitForWorker(0);
}

bool TfrmConvert::StartMovbridge(const std::string& input, const std::string& output) {
    if (!bridge_) bridge_.reset(static_cast<IMovbridge*>(NewMovbridgeInstance()));
    if (!bridge_) return false;
    if (!bridge_->IsSupportedFile(input.c_str())) {
        ShowBox({MOVBRIDGE_TEXT_NOT_QUICKTIME, "Stop", MessageIcon::Error});
        return false;
    }
    btnInfo->setEnabled(false);
    g_bridgeWindow = this;
    bridge_->SetFiles(input.c_str(), output.c_str());
    bridge_->SetNotify(bridgeTarget_.get(), &MovbridgeNotifyProc);
    if (!bridge_->StartConversion()) {
        btnInfo->setEnabled(true);
        return false;
    }
    return true;
}

bool TfrmConvert::StartMpeg(const std::string& input, const std::string& output) {
    MpegStartContext ctx;
    ctx.owner = this;
    ctx.dialogs = settingDialogs_.get();
    ctx.callback = mpegCallback_.get();
    ctx.previewWindow = frmPreview_->handle();
    ctx.releaseJob = [](core::ComponentHandle<IMpegConversionJob>& job) { ReleaseHandlingEvents(job); };
    return StartMpegJob(convertMode_, input, output, ctx, mpegJob_);
}

void TfrmConvert::OnJobProgress(std::int32_t permyriad) {
    if (convertState_ == ConvertState::Stopping) return;
    ProgressBar1->setValue(ProgressPercent(permyriad));
    Label_Percent->setText(QString::fromStdString(ProgressText(permyriad)));
}

void TfrmConvert::OnJobFinished() {
    Label_Percent->setText("100%");
    ProgressBar1->setValue(100);
    emptiedOutput_.Forget();
    ShowBox({kConvertCompleted, "Info", MessageIcon::Information});
    EnterIdle();
}

void TfrmConvert::OnJobMessage(const std::string& text) {
    ShowBox({JobMessageText(text, writtenOutput_), "Info", MessageIcon::Information});
    EnterIdle();
    Label_Percent->setText(kProgressReset);
    emptiedOutput_.RemoveIfUnwritten();
}

void TfrmConvert::HandleBridgeEvent(std::int32_t kind, std::int32_t value) {
    if (kind == MOVBRIDGE_EVENT_PROGRESS) {
        const int percent = ProgressPercent(value);
        if (percent >= 100) {
            frmPreview_->ShowPicture(true);
            Label_Percent->setText("100%");
            ProgressBar1->setValue(100);
        } else {
            ProgressBar1->setValue(percent);
            Label_Percent->setText(QString::fromStdString(ProgressText(value)));
        }
        return;
    }
    EnterIdle();
    if (value == MOVBRIDGE_END_COMPLETED) {
        emptiedOutput_.Forget();
    } else {
        emptiedOutput_.RemoveIfUnwritten();
    }
    MessageSpec m;
    if (BridgeEndMessage(value, &m)) ShowBox(m);
}

void TfrmConvert::EnterIdle() {
    convertState_ = ConvertState::Idle;
    SetConvertFaces(ConvertFace::Start);
    btnInfo->setEnabled(true);
}

void TfrmConvert::SetConvertFaces(ConvertFace face) {
    btnConvert->SetImageList(face == ConvertFace::Start ? ImageList_Convert : ImageList_Cancel);
    btnConvert->setToolTip(face == ConvertFace::Start ? "Convert" : "Stop");
}

void TfrmConvert::ShowBox(const MessageSpec& m) {
    // While the window closes, the jobs' last messages only change its state.
    if (closing_) return;
    if (askingStop_) {
        heldBox_ = m;
        return;
    }
    ShowMessage(this, m);
}

void TfrmConvert::TransparentButton1Click() {
    if (closing_) return;
    if (convertState_ == ConvertState::Converting) {
        askingStop_ = true;
        const bool stop = ShowMessage(this, kStopQuestion, "Sure", MessageIcon::Warning,
                                      QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
        askingStop_ = false;
        std::optional<MessageSpec> held = std::exchange(heldBox_, std::nullopt);
        if (!stop) {
            // The conversion ended while the question was open: its word now.
            if (held) ShowBox(*held);
            return;
        }
        cancelRequested_ = true;
        // The conversion may have ended while the question was open.
        if (convertState_ == ConvertState::Converting) StopConversion();
    } else {
        cancelRequested_ = true;
    }
    CloseWindow();
}

void TfrmConvert::CloseWindow() {
    closing_ = true;
    if (frmPreview_->isVisible()) frmPreview_->close();
    Fold();
    // A worker may be waiting in a last callback: releasing handles this
    // window's events meanwhile, so that callback completes and the worker ends.
    if (bridge_) ReleaseHandlingEvents(bridge_);
    if (aviJob_) aviJob_->Cancel();
    ReleaseHandlingEvents(aviJob_);
    ReleaseHandlingEvents(mpegJob_);
    emptiedOutput_.RemoveIfUnwritten();
    convertState_ = ConvertState::Idle;
    if (mainWindow_) {
        const QRect r = frameGeometry();
        const Point at = CentredOn(r.x(), r.y(), r.width(), r.height(), mainWindow_->frameGeometry().width(),
                                   mainWindow_->frameGeometry().height());
        mainWindow_->move(at.x, at.y);
        mainWindow_->show();
    }
    QDialog::done(QDialog::Accepted);
    setMask(shape_);
    closing_ = false;
}

void TfrmConvert::reject() { TransparentButton1Click(); }

void TfrmConvert::closeEvent(QCloseEvent* e) {
    if (closing_) {
        QDialog::closeEvent(e);
        return;
    }
    // The window manager's close goes the way of the close button.
    e->ignore();
    QTimer::singleShot(0, this, &TfrmConvert::TransparentButton1Click);
}

bool TfrmConvert::eventFilter(QObject* watched, QEvent* e) {
    if (watched != Image1) return QDialog::eventFilter(watched, e);
    if (e->type() == QEvent::MouseButtonPress) {
        auto* me = static_cast<QMouseEvent*>(e);
        if (me->button() == Qt::LeftButton) {
            dragOrigin_ = me->globalPosition().toPoint();
            dragging_ = true;
        }
    } else if (e->type() == QEvent::MouseMove && dragging_) {
        auto* me = static_cast<QMouseEvent*>(e);
        if (me->buttons() & Qt::LeftButton) {
            const QPoint delta = me->globalPosition().toPoint() - dragOrigin_;
            dragOrigin_ = me->globalPosition().toPoint();
            move(pos() + delta);
            frmPreview_->move(frmPreview_->pos() + delta);
        }
    } else if (e->type() == QEvent::MouseButtonRelease) {
        dragging_ = false;
    }
    return QDialog::eventFilter(watched, e);
}

}  // namespace reelcast::app
