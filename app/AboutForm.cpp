#include "app/AboutForm.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include "app/controls/TMyLabel.h"
#include "app/logic/ProgramFiles.h"

namespace reelcast::app {
QPixmap ProgramIcon(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(20, 40, 110));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(2, 6, size - 4, size - 12), 5, 5);
    p.setBrush(Qt::white);
    for (int i = 0; i < 4; ++i) {
        const qreal x = 6 + i * (size - 12) / 3.5;
        p.drawRect(QRectF(x, 8, 4, 4));
        p.drawRect(QRectF(x, size - 12, 4, 4));
    }
    p.setBrush(QColor(254, 140, 0));
    const qreal c = size / 2.0;
    p.drawPolygon(QPolygonF({QPointF(c - 6, c - 8), QPointF(c + 9, c), QPointF(c - 6, c + 8)}));
    return pm;
}

TAboutBox::TAboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName("AboutBox");
    setWindowTitle("About");
    setFixedSize(300, 190);
    auto* panel = new QFrame(this);
    panel->setObjectName("Panel1");
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setGeometry(8, 8, 284, 130);
    auto* icon = new QLabel(panel);
    icon->setObjectName("ProgramIcon");
    icon->setPixmap(ProgramIcon(48));
    icon->setGeometry(12, 12, 48, 48);

    MyLabel1 = new TMyLabel(panel);
    MyLabel1->setObjectName("MyLabel1");
    MyLabel1->setText(kProgramTitle);
    QFont big = MyLabel1->font();
    big.setPointSize(16);
    big.setBold(true);
    MyLabel1->setFont(big);
    MyLabel1->SetBKColor(QColor(128, 128, 128));
    MyLabel1->SetPREColor(QColor(0, 0, 128));
    MyLabel1->setContentsMargins(0, 0, 2, 2);  // room for the fore colour's offset
    MyLabel1->move(72, 20);
    MyLabel1->SetAutoSize(true);

    auto* version = new QLabel(kVersionText, panel);
    version->setObjectName("Version");
    version->setGeometry(74, 70, 200, 20);

    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("OKButton");
    ok->setGeometry(112, 150, 76, 28);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace reelcast::app
