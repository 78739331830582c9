#include "app/MainForm.h"

#include <QAction>
#include <QCursor>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QUrl>
#include <optional>
#include <vector>

#include "app/MainMenu.h"
#include "app/WindowShape.h"
#include "app/controls/TImageList.h"
#include "app/controls/TTransparentButton.h"
#include "app/logic/ProgramFiles.h"
#include "app/logic/SkinFolder.h"
#include "app/logic/WindowRegion.h"

namespace reelcast::app {
namespace {

// Buttons 1 to 6 and the entries of "Convert", in their orders.
constexpr ConvertEntry kButtonEntries[] = {ConvertEntry::AviToMpg1, ConvertEntry::AviToMpg2,
                                           ConvertEntry::AviToVcd,  ConvertEntry::AviToDvd,
                                           ConvertEntry::AllToDivx, ConvertEntry::AllToAvi};
constexpr ConvertEntry kMenuEntries[] = {
    ConvertEntry::AviToMpg1, ConvertEntry::AviToMpg2, ConvertEntry::AviToVcd,
    ConvertEntry::AviToDvd,  ConvertEntry::AviToSvcd, ConvertEntry::AllToDivx,
    ConvertEntry::AllToAvi,  ConvertEntry::MovToAvi,  ConvertEntry::SwfToAvi};
// OpenDialog1's filter.
constexpr const char* kAnyFileFilter = "*.*|*.*";
constexpr int kExitButton = 7, kMenuButton = 8, kSkinButton = 9, kHelpButton = 10;

// The faces of the three glyphs the buttons use: normal, pressed, hot.
constexpr int kButtonGlyphs = 3;

// Used when no skin at all can be loaded: a plain panel with captioned buttons.
constexpr int kPlainButtonWidth = 48, kPlainButtonHeight = 28, kPlainMargin = 8;

QImage LoadBitmap(const std::string& path) {
    QImage image(QString::fromStdString(path));
    return image;
}

// A skin face for the menu, its magenta made transparent.
QPixmap MenuFace(const std::string& folder) {
    QImage face = LoadBitmap(folder + "/" + kSkinFaceFile);
    if (face.isNull()) return {};
    face = face.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < face.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(face.scanLine(y));
        for (int x = 0; x < face.width(); ++x)
            if (IsTransparentPixel(row[x])) row[x] = 0;
    }
    return QPixmap::fromImage(face);
}

}  // namespace

TForm1::TForm1(const std::string& programFolder, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), programFolder_(programFolder) {
    setObjectName("Form1");
    setWindowTitle(kProgramTitle);
    Image1_ = new QLabel(this);
    Image1_->setObjectName("Image1");
    Image1_->setAttribute(Qt::WA_TransparentForMouseEvents);
    CreateButtons();
    BuildMenu();

    SetSkinFolder(SkinFolderPath(programFolder_, 0));
    const int wanted = ReadSkinIndex(ConfigPath(programFolder_));
    if (LoadSkin(SkinFolderPath(programFolder_, wanted))) {
        skinIndex_ = wanted;
    } else if (wanted != 0 && LoadSkin(SkinFolderPath(programFolder_, 0))) {
        skinIndex_ = 0;
    } else {
        ApplyPlainFace();
    }
    BuildSkinMenu();
    PlaceAtDesktopCentre();
}

void TForm1::CreateButtons() {
    for (int n = 1; n <= kSkinButtonCount; ++n) {
        auto* list = new TImageList(this, 40, 40);
        list->setObjectName(QString("ImageList_Ctrl%1").arg(n));
        auto* button = new TTransparentButton(this);
        button->setObjectName(QString("Button_Ctrl%1").arg(n));
        button->SetBorderWidth(0);
        button->SetNumGlyphs(kButtonGlyphs);
        button->SetImageList(list);
        const QString hint = kSkinButtonHints[n - 1];
        if (!hint.isEmpty()) button->setToolTip(hint);
        imageLists_[static_cast<size_t>(n - 1)] = list;
        buttons_[static_cast<size_t>(n - 1)] = button;
    }
    for (size_t i = 0; i < std::size(kButtonEntries); ++i) {
        const ConvertEntry entry = kButtonEntries[i];
        connect(buttons_[i], &TTransparentButton::OnClick, this,
                [this, entry] { emit ConvertRequested(entry); });
    }
    connect(Button(kExitButton), &TTransparentButton::OnClick, this, &QWidget::close);
    connect(Button(kMenuButton), &TTransparentButton::OnClick, this, &TForm1::ViewMenu);
    connect(Button(kSkinButton), &TTransparentButton::OnClick, this, &TForm1::ChangeSkin);
    connect(Button(kHelpButton), &TTransparentButton::OnClick, this, &TForm1::OpenHelp);
}

TTransparentButton* TForm1::Button(int number) const {
    if (number < 1 || number > kSkinButtonCount) return nullptr;
    return buttons_[static_cast<size_t>(number - 1)];
}

QMenu* TForm1::PopupMenu() const { return PopupMenu1_; }
QMenu* TForm1::SkinMenu() const { return pupSelectSkin_; }

void TForm1::BuildMenu() {
    PopupMenu1_ = new TBannerMenu(this);
    PopupMenu1_->setObjectName("PopupMenu1");
    auto* convert = new TBannerMenu(PopupMenu1_, false);
    convert->setObjectName("Convert1");
    convert->setTitle("Convert");
    for (ConvertEntry entry : kMenuEntries) {
        QAction* a = convert->addAction(ModeInfo(entry).title);
        connect(a, &QAction::triggered, this, [this, entry] { emit ConvertRequested(entry); });
    }
    PopupMenu1_->addMenu(convert);
    QAction* info = PopupMenu1_->addAction("File Info...", this, &TForm1::FileInfo);
    info->setObjectName("FileInfo1");
    PopupMenu1_->addSeparator()->setObjectName("N1");
    pupSelectSkin_ = new TBannerMenu(PopupMenu1_, false);
    pupSelectSkin_->setObjectName("pupSelectSkin");
    pupSelectSkin_->setTitle("SelectSkin   ");
    PopupMenu1_->addMenu(pupSelectSkin_);
    PopupMenu1_->addAction("Help", this, &TForm1::OpenHelp)->setObjectName("About1");
    PopupMenu1_->addAction("About", this, &TForm1::AboutRequested)->setObjectName("pupAbout");
    PopupMenu1_->addSeparator()->setObjectName("N5");
    PopupMenu1_->addAction("Exit", this, &QWidget::close)->setObjectName("Exit1");
}

void TForm1::BuildSkinMenu() {
    const int count = CountSkins(programFolder_);
    for (int i = 0; i < count; ++i) {
        if (i > 0) pupSelectSkin_->addSeparator();
        const QPixmap face = MenuFace(SkinFolderPath(programFolder_, i));
        QAction* item = pupSelectSkin_->addAction(face.isNull() ? QIcon() : QIcon(face), QString());
        item->setToolTip(QString("SKIN%1").arg(i));
        connect(item, &QAction::triggered, this, [this, item] {
            const int skin = SkinOfMenuItem(static_cast<int>(pupSelectSkin_->actions().indexOf(item)));
            if (!ChooseSkin(skin) && SkinExists(programFolder_, skin)) {
                QMessageBox::warning(this, "Warning",
                                     QString("The skin can not be used: %1")
                                         .arg(QString::fromStdString(skinProblem_)));
            }
        });
    }
}

bool TForm1::LoadSkin(const std::string& folder) {
    const SkinDescription skin = DescribeSkin(folder);
    if (!skin.usable) {
        skinProblem_ = skin.problem;
        return false;
    }
    const std::string facePath = folder + "/" + kSkinFaceFile;
    const QImage face = LoadBitmap(facePath);
    const std::optional<QRegion> shape = ShapeFromPicture(face);
    if (!shape) {
        skinProblem_ = facePath + (face.isNull() ? " is not a readable bitmap"
                                                 : " has no shape (all magenta or more than " +
                                                       std::to_string(kMaxRegionRows) + " rows)");
        return false;
    }
    // Every named button face must load before anything changes.
    std::vector<QImage> faces;
    for (const SkinControl& c : skin.controls) {
        const std::string path = folder + "/" + SkinControlFile(c.number);
        QImage bitmap = LoadBitmap(path);
        if (bitmap.width() < kSkinFacesPerButton || bitmap.height() < 1) {
            skinProblem_ = path + " is missing or not a readable bitmap";
            return false;
        }
        faces.push_back(std::move(bitmap));
    }

    Image1_->setPixmap(QPixmap::fromImage(face));
    Image1_->setGeometry(0, 0, face.width(), face.height());
    setFixedSize(face.size());
    for (TImageList* list : imageLists_) list->Clear();
    for (TTransparentButton* b : buttons_) b->hide();
    for (size_t i = 0; i < skin.controls.size(); ++i) {
        const SkinControl& c = skin.controls[i];
        TImageList* list = imageLists_[static_cast<size_t>(c.number - 1)];
        TTransparentButton* button = Button(c.number);
        const QImage& bitmap = faces[i];
        list->SetSize(bitmap.width() / kSkinFacesPerButton, bitmap.height());
        list->AddMasked(bitmap, kTransparentColour);
        button->SetImageList(list);
        button->SetCaption(QString());
        button->SetFrameStyle(fsExplorer);
        button->SetBorderWidth(0);
        button->setGeometry(c.left, c.top, list->Width(), list->Height());
        button->show();
    }
    setMask(*shape);
    SetSkinFolder(folder);
    skinProblem_.clear();
    return true;
}

void TForm1::ApplyPlainFace() {
    const int w = kPlainMargin + kSkinButtonCount * (kPlainButtonWidth + kPlainMargin);
    const int h = kPlainButtonHeight + 2 * kPlainMargin;
    QImage face(w, h, QImage::Format_RGB32);
    face.fill(palette().color(QPalette::Window));
    Image1_->setPixmap(QPixmap::fromImage(face));
    Image1_->setGeometry(0, 0, w, h);
    setFixedSize(w, h);
    clearMask();
    for (int n = 1; n <= kSkinButtonCount; ++n) {
        TTransparentButton* b = Button(n);
        imageLists_[static_cast<size_t>(n - 1)]->Clear();
        b->SetImageList(nullptr);
        b->SetCaption(kSkinButtonLabels[n - 1]);
        b->SetFrameStyle(fsLight);
        b->SetBorderWidth(1);
        b->setGeometry(kPlainMargin + (n - 1) * (kPlainButtonWidth + kPlainMargin), kPlainMargin,
                       kPlainButtonWidth, kPlainButtonHeight);
        b->show();
    }
}

bool TForm1::ChooseSkin(int n) {
    if (!SkinExists(programFolder_, n) || !LoadSkin(SkinFolderPath(programFolder_, n))) return false;
    skinIndex_ = n;
    WriteSkinIndex(ConfigPath(programFolder_), n);
    return true;
}

void TForm1::ChangeSkin() {
    const int count = std::max(CountSkins(programFolder_), 1);
    int next = skinIndex_;
    // Skins that do not load are passed over.
    for (int tries = 0; tries < count; ++tries) {
        next = NextSkin(programFolder_, next);
        if (next == skinIndex_ || ChooseSkin(next)) return;
    }
}

bool TForm1::OpenHelp() {
    const QString path = QString::fromStdString(programFolder_ + "/" + kHelpFile);
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(path))) return true;
    QMessageBox::warning(this, "Warning", QString("Can not open the help file %1").arg(path));
    return false;
}

void TForm1::ViewMenu() { PopupMenu1_->popup(QCursor::pos()); }

void TForm1::FileInfo() {
    QStringList filters;
    for (const std::string& f : DialogFilters(kAnyFileFilter)) filters << QString::fromStdString(f);
    const QString path = QFileDialog::getOpenFileName(this, QString(), QString(), filters.join(";;"));
    if (!path.isEmpty()) emit FileInfoRequested(path);
}

void TForm1::PlaceAtDesktopCentre() {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desk = screen->availableGeometry();
        move(desk.center() - QPoint(width() / 2, height() / 2));
    }
}

void TForm1::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    dragging_ = true;
    dragOrigin_ = e->position().toPoint();
}

void TForm1::mouseMoveEvent(QMouseEvent* e) {
    if (dragging_ && (e->buttons() & Qt::LeftButton))
        move(pos() + e->position().toPoint() - dragOrigin_);
}

void TForm1::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) dragging_ = false;
}

}  // namespace reelcast::app
