#include "app/PreviewForm.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "app/logic/DibPicture.h"
#include "platform/window/PreviewWindow.h"

namespace reelcast::app {

TfrmPreview::TfrmPreview(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("frmPreview");
    setWindowTitle("Vantor Convert Preview");
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_OpaquePaintEvent);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    Image1 = new QLabel(this);
    Image1->setObjectName("Image1");
    Image1->setScaledContents(true);
    Image1->setMinimumSize(1, 1);
    layout->addWidget(Image1);
    resize(320, 240);
    handle_ = platform::RegisterSurface(this);
}

TfrmPreview::~TfrmPreview() {
    // After this no job reaches Present; a repaint already queued is dropped with us.
    platform::UnregisterSurface(this);
}

void TfrmPreview::LoadWelcome(const QString& skinFolder) {
    QPixmap welcome;
    if (!skinFolder.isEmpty() && welcome.load(skinFolder + "//welcome.bmp")) {
        Image1->setPixmap(welcome);
    } else {
        Image1->clear();
    }
}

void TfrmPreview::ShowPicture(bool shown) {
    Image1->setVisible(shown);
    update();
}

QImage TfrmPreview::lastFrame() const {
    std::lock_guard<std::mutex> lock(frameLock_);
    return frame_;
}

void TfrmPreview::Present(const std::uint8_t* dib, std::uint32_t dibSize) {
    RgbPicture picture;
    if (!DibToRgb(dib, dibSize, &picture)) return;
    QImage image(picture.width, picture.height, QImage::Format_RGB32);
    for (int y = 0; y < picture.height; ++y) {
        std::copy_n(picture.pixels.data() + static_cast<std::size_t>(y) * picture.width, picture.width,
                    reinterpret_cast<std::uint32_t*>(image.scanLine(y)));
    }
    {
        std::lock_guard<std::mutex> lock(frameLock_);
        frame_ = std::move(image);
    }
    ++framesPresented_;
    // One repaint in flight at a time: a fast job only replaces the picture.
    if (!repaintQueued_.exchange(true)) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                repaintQueued_ = false;
                update();
            },
            Qt::QueuedConnection);
    }
}

void TfrmPreview::showEvent(QShowEvent* e) {
    visible_ = true;
    QWidget::showEvent(e);
}

void TfrmPreview::hideEvent(QHideEvent* e) {
    visible_ = false;
    QWidget::hideEvent(e);
}

void TfrmPreview::closeEvent(QCloseEvent* e) {
    QWidget::closeEvent(e);
    if (e->isAccepted()) emit closed();
}

void TfrmPreview::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QImage frame = lastFrame();
    if (frame.isNull()) {
        painter.fillRect(rect(), Qt::black);
    } else {
        painter.drawImage(rect(), frame);
    }
}

}  // namespace reelcast::app
