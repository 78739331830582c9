// The preview window above the conversion window. It shows the skin's welcome
// picture, and while a conversion runs the engine paints each converted picture
// into it through its window handle (the platform window layer).
#pragma once

#include <QImage>
#include <QWidget>

#include <atomic>
#include <mutex>

#include "platform/window/IPreviewSurface.h"

class QLabel;

namespace reelcast::app {

class TfrmPreview : public QWidget, public platform::IPreviewSurface {
    Q_OBJECT
public:
    explicit TfrmPreview(QWidget* parent = nullptr);
    ~TfrmPreview() override;

    // The handle the jobs draw through.
    void* handle() const { return handle_; }

    // Loads skinFolder + "//welcome.bmp" into Image1; a missing or unreadable
    // picture leaves Image1 empty.
    void LoadWelcome(const QString& skinFolder);

    // Image1 (the welcome picture) hidden lets the engine's pictures show.
    void ShowPicture(bool shown);

    // The engine's last picture, for tests; null before the first.
    QImage lastFrame() const;
    int framesPresented() const { return framesPresented_.load(); }

    // IPreviewSurface (any thread).
    bool IsVisible() const override { return visible_.load(); }
    void Present(const std::uint8_t* dib, std::uint32_t dibSize) override;

    QLabel* Image1 = nullptr;

signals:
    // The user closed the window.
    void closed();

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    void* handle_ = nullptr;
    std::atomic<bool> visible_{false};
    std::atomic<bool> repaintQueued_{false};
    std::atomic<int> framesPresented_{0};
    mutable std::mutex frameLock_;
    QImage frame_;
};

}  // namespace reelcast::app
