// The picture button of every skinned window: glyphs from an image list chosen
// by the mouse state, an optional caption, no background of its own.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include "app/logic/GlyphChoice.h"

class QMenu;
class QShortcut;

namespace reelcast::app {

class TImageList;

enum TFrameStyle { fsRegular, fsIndent, fsExplorer, fsNone, fsLight, fsDark, fsMono };
enum TTextAlign {
    ttaTopLeft, ttaTop, ttaTopRight, ttaRight, ttaBottomRight, ttaBottom, ttaBottomLeft, ttaLeft,
    ttaCenter
};

class TTransparentButton : public QWidget {
    Q_OBJECT
public:
    explicit TTransparentButton(QWidget* parent = nullptr);

    bool ThreeState() const { return threeState_; }
    void SetThreeState(bool v) { threeState_ = v; }
    bool AutoGray() const { return autoGray_; }
    void SetAutoGray(bool v);
    int BorderWidth() const { return borderWidth_; }
    void SetBorderWidth(int v);
    QString Caption() const { return caption_; }
    void SetCaption(const QString& v);
    bool Down() const { return down_; }
    void SetDown(bool v);
    TFrameStyle FrameStyle() const { return frameStyle_; }
    void SetFrameStyle(TFrameStyle v);
    TImageList* ImageList() const { return imageList_; }
    void SetImageList(TImageList* list);
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int v);
    int NumGlyphs() const { return numGlyphs_; }
    void SetNumGlyphs(int v);  // kept within 1..4
    QMenu* PopUpMenu() const { return popUpMenu_; }
    void SetPopUpMenu(QMenu* menu);
    bool ShowPressed() const { return showPressed_; }
    void SetShowPressed(bool v);
    int Spacing() const { return spacing_; }
    void SetSpacing(int v);
    TTextAlign TextAlign() const { return textAlign_; }
    void SetTextAlign(TTextAlign v);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool v);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool v);
    bool Movable() const { return movable_; }
    void SetMovable(bool v) { movable_ = v; }

    // The glyph index drawn now (ImageIndex included).
    int CurrentGlyph() const;
    bool IsHot() const { return hot_; }
    bool IsPressedInside() const { return pressedInside_; }

    // Fills the image list from one bitmap of NumGlyphs glyphs side by side,
    // then appends a grey and an embossed disabled glyph made from the first.
    void AddGlyphs(const QImage& bitmap, QRgb transparentColour);

    // Where the glyph and the caption go inside the button.
    QRect GlyphRect() const;
    QRect TextRect() const;

signals:
    void OnClick();
    void OnMouseDown(QPoint pos);
    void OnMouseMove(QPoint pos);
    void OnMouseUp(QPoint pos);
    void OnMouseEnter();
    void OnMouseExit();

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void changeEvent(QEvent*) override;

private:
    // Stores a property and repaints when it changed.
    template <class T>
    void Assign(T& field, const T& value) {
        if (field == value) return;
        field = value;
        update();
    }
    void Release(QPoint pos);
    void UpdateShortcut();
    void DrawFrame(QPainter& p);
    GlyphState State() const;
    int TextFlags() const;

    bool threeState_ = false;
    bool autoGray_ = true;
    int borderWidth_ = 1;
    QString caption_;
    bool down_ = false;
    TFrameStyle frameStyle_ = fsExplorer;
    QPointer<TImageList> imageList_;
    int imageIndex_ = 0;
    int numGlyphs_ = 1;
    QPointer<QMenu> popUpMenu_;
    bool showPressed_ = true;
    int spacing_ = 2;
    TTextAlign textAlign_ = ttaCenter;
    bool transparent_ = true;
    bool wordWrap_ = false;
    bool movable_ = false;

    bool mouseToggle_ = false;
    bool pressedInside_ = false;
    bool captured_ = false;
    bool hot_ = false;
    QPoint dragOrigin_;
    QShortcut* shortcut_ = nullptr;
};

}  // namespace reelcast::app
