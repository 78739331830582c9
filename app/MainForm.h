// The main window: a borderless picture shaped by its skin, ten skinned buttons
// placed by the skin, a pop-up menu with the same commands, and skin switching.
#pragma once

#include <QImage>
#include <QWidget>
#include <array>
#include <string>

#include "app/logic/ConvertModes.h"
#include "app/logic/Skins.h"

class QFileDialog;
class QLabel;
class QMenu;

namespace reelcast::app {

class TBannerMenu;
class TImageList;
class TTransparentButton;

class TForm1 : public QWidget {
    Q_OBJECT
public:
    // programFolder holds the skins, config.ini and the manual.
    explicit TForm1(const std::string& programFolder, QWidget* parent = nullptr);

    int skinIndex() const { return skinIndex_; }
    const std::string& programFolder() const { return programFolder_; }

    // Loads the skin in `folder`. A skin whose files are missing, empty or
    // unreadable, or whose face cannot shape a window, is not applied: the
    // window keeps the skin it has and the answer is false.
    bool LoadSkin(const std::string& folder);
    // Skin n from the menu: applied and remembered in config.ini when it loads.
    bool ChooseSkin(int n);
    // The next skin that loads, after the last one SKIN0.
    void ChangeSkin();

    TTransparentButton* Button(int number) const;  // 1..10
    QMenu* PopupMenu() const;
    QMenu* SkinMenu() const;
    // Why the last skin was refused.
    const std::string& SkinProblem() const { return skinProblem_; }

    // Opens the manual; false when the desktop has no handler for it.
    bool OpenHelp();

signals:
    // A conversion command: the conversion window takes it from here.
    void ConvertRequested(reelcast::app::ConvertEntry entry);
    // "File Info..." with the chosen file.
    void FileInfoRequested(const QString& path);
    void AboutRequested();

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    void CreateButtons();
    void BuildMenu();
    void BuildSkinMenu();
    void ApplyPlainFace();
    void ViewMenu();
    void FileInfo();
    void PlaceAtDesktopCentre();

    std::string programFolder_;
    int skinIndex_ = 0;
    std::string skinProblem_;
    QLabel* Image1_ = nullptr;
    std::array<TTransparentButton*, kSkinButtonCount> buttons_{};
    std::array<TImageList*, kSkinButtonCount> imageLists_{};
    TBannerMenu* PopupMenu1_ = nullptr;
    TBannerMenu* pupSelectSkin_ = nullptr;
    bool dragging_ = false;
    QPoint dragOrigin_;
};

}  // namespace reelcast::app
