// The engine's dialogs over Qt Widgets, built as a library of their own and
// handed over as a table. Control ids of the original dialog resources are kept
// as object names ("1000", ...) so tests and the dialog logic can refer to
// controls by id.
#include <algorithm>
#include <chrono>
#include <thread>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QThread>
#include <QVBoxLayout>

#include "platform/ui/DialogTable.h"

namespace reelcast::platform::ui::qt {
namespace {

void SetId(QWidget* w, int id) { w->setObjectName(QString::number(id)); }

std::vector<std::string> Items(const QComboBox* box) {
    std::vector<std::string> v;
    for (int i = 0; i < box->count(); ++i) v.push_back(box->itemText(i).toStdString());
    return v;
}

// CB_SELECTSTRING: selects the found item, leaves the list as it was otherwise.
void SelectPrefix(QComboBox* box, const std::string& prefix) {
    const int i = FindItemWithPrefix(Items(box), prefix);
    if (i >= 0) box->setCurrentIndex(i);
}

QComboBox* DropDown(int id, const QStringList& items) {
    auto* box = new QComboBox;
    SetId(box, id);
    box->addItems(items);
    box->setCurrentIndex(-1);
    return box;
}

// The OK and Cancel buttons (control ids 1 and 2) that accept and reject dlg.
QDialogButtonBox* OkCancel(QDialog& dlg, const char* okText, const char* cancelText) {
    auto* buttons = new QDialogButtonBox;
    SetId(buttons->addButton(okText, QDialogButtonBox::AcceptRole), 1);
    SetId(buttons->addButton(cancelText, QDialogButtonBox::RejectRole), 2);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    return buttons;
}

bool DialogsAvailable() {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr &&
           QThread::currentThread() == QCoreApplication::instance()->thread();
}

void WaitHandlingEvents(const std::function<bool()>& done) {
    QCoreApplication* app = QCoreApplication::instance();
    const bool interfaceThread = app && QThread::currentThread() == app->thread();
    while (!done()) {
        if (interfaceThread) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void SendToInterfaceThread(const std::function<void()>& fn) {
    if (!fn) return;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(app, [&fn] { fn(); }, Qt::BlockingQueuedConnection);
}

int g_sessionArgc = 1;
char g_sessionName[] = "reelcast";
char* g_sessionArgv[] = {g_sessionName, nullptr};

void* OpenSession() {
    return QCoreApplication::instance() ? nullptr : new QCoreApplication(g_sessionArgc, g_sessionArgv);
}

void CloseSession(void* session) { delete static_cast<QCoreApplication*>(session); }

bool RunLameConfigDialog(WindowHandle, LameSettings* io) {
    if (!io || !DialogsAvailable()) return false;
    QDialog dlg(QApplication::activeWindow());
    dlg.setWindowTitle("Lame Configuration");
    QStringList rates;
    for (int r : kLameBitrates) rates << QString("%1 KBits").arg(r);
    QComboBox* bitrate = DropDown(1000, rates);
    QComboBox* quality = DropDown(1001, {"Q1 Very High", "Q2", "Q3 High", "Q4 ", "Q5 Medium", "Q6", "Q7",
                                         "Q8 Poor"});
    QComboBox* channel = DropDown(1002, {"Stereo", "Join Stereo"});
    auto* low = new QLineEdit;
    SetId(low, 1003);
    auto* high = new QLineEdit;
    SetId(high, 1004);

    bitrate->setCurrentIndex(LameBitrateItem(io->bitrate));
    channel->setCurrentIndex(io->stereo >= 0 && io->stereo < 2 ? io->stereo : -1);
    quality->setCurrentIndex(io->quality >= 1 && io->quality <= 8 ? io->quality - 1 : -1);
    low->setText(QString::number(io->lowpass));
    high->setText(QString::number(io->highpass));

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Bitrate"), 0, 0);
    grid->addWidget(bitrate, 0, 1);
    grid->addWidget(new QLabel("Quality"), 1, 0);
    grid->addWidget(quality, 1, 1);
    grid->addWidget(new QLabel("Channel"), 2, 0);
    grid->addWidget(channel, 2, 1);
    auto* filter = new QGroupBox("Filtering -1 to disable");
    auto* fg = new QGridLayout(filter);
    fg->addWidget(new QLabel("LowPass"), 0, 0);
    fg->addWidget(low, 0, 1);
    fg->addWidget(new QLabel("Hz"), 0, 2);
    fg->addWidget(new QLabel("HighPass"), 1, 0);
    fg->addWidget(high, 1, 1);
    fg->addWidget(new QLabel("Hz"), 1, 2);
    auto* buttons = OkCancel(dlg, "&OK", "&Cancel");
    auto* v = new QVBoxLayout(&dlg);
    v->addLayout(grid);
    v->addWidget(filter);
    v->addWidget(buttons);

    if (dlg.exec() != QDialog::Accepted) return false;
    const int bi = bitrate->currentIndex();
    io->bitrate = bi >= 0 ? kLameBitrates[bi] : 0;
    io->stereo = channel->currentIndex();
    io->quality = quality->currentIndex() + 1;
    io->lowpass = ParseDialogInt(low->text().toStdString());
    io->highpass = ParseDialogInt(high->text().toStdString());
    return true;
}

bool RunAviOptionsDialog(WindowHandle, AviOptionsHost& host, int width, int height, const double* rates,
                         int rateCount, AviOptionsResult* out) {
    if (!out || !DialogsAvailable()) return false;
    QDialog dlg(QApplication::activeWindow());
    dlg.setWindowTitle("AVI Option");

    QComboBox* codec = DropDown(1000, {});
    std::vector<std::string> names;
    for (int i = 0; i < 100; ++i) {
        std::string name;
        std::uint32_t handler = 0;
        if (!host.EnumVideoCodec(i, &name, &handler)) break;
        codec->addItem(QString::fromStdString(name), QVariant::fromValue<quint32>(handler));
        names.push_back(name);
    }
    codec->setCurrentIndex(AviOptionsCodecItem(names, host.CodecFamily()));

    auto* noChange = new QCheckBox("No Change Size");
    SetId(noChange, 1009);
    auto* w = new QLineEdit(QString::number(width));
    auto* h = new QLineEdit(QString::number(height));
    SetId(w, 1001);
    SetId(h, 1002);
    for (QLineEdit* e : {w, h}) {
        e->setMaxLength(4);
        e->setValidator(new QIntValidator(0, 9999, e));
    }
    QObject::connect(noChange, &QCheckBox::toggled, [w, h](bool checked) {
        w->setEnabled(!checked);
        h->setEnabled(!checked);
    });

    QStringList rateItems;
    for (int i = 0; i < rateCount; ++i) rateItems << QString::asprintf("%.3f fps", rates[i]);
    QComboBox* rate = DropDown(1003, rateItems);
    SelectPrefix(rate, "25");

    QComboBox* audio = DropDown(1004, {"NO Sound", "PCM", "MP3 Lame", "ACM"});
    SelectPrefix(audio, "MP3 Lame");
    auto* config = new QPushButton("Config...");
    SetId(config, 1005);
    auto* r32 = new QRadioButton("32 KHz");
    auto* r44 = new QRadioButton("44 KHz");
    auto* r48 = new QRadioButton("48 KHz");
    SetId(r32, 1006);
    SetId(r44, 1007);
    SetId(r48, 1008);
    r44->setChecked(true);
    auto* brief = new QPlainTextEdit;
    SetId(brief, 1010);
    brief->setReadOnly(true);
    auto showBrief = [&host, brief] {
        QString text = QString::fromStdString(host.AudioDescription());
        text.replace("\r\n", "\n");
        brief->setPlainText(text);
    };
    showBrief();
    QObject::connect(config, &QPushButton::clicked, [&host, &dlg, audio, showBrief] {
        host.ConfigureAudio(&dlg, audio->currentIndex());
        showBrief();
    });

    auto* video = new QGroupBox("Video Option");
    auto* vg = new QGridLayout(video);
    vg->addWidget(new QLabel("Codec"), 0, 0);
    vg->addWidget(codec, 0, 1, 1, 3);
    vg->addWidget(noChange, 1, 1, 1, 3);
    vg->addWidget(new QLabel("Width/Height"), 2, 0);
    vg->addWidget(w, 2, 1);
    vg->addWidget(h, 2, 2);
    vg->addWidget(new QLabel("Frame Rate"), 3, 0);
    vg->addWidget(rate, 3, 1, 1, 3);
    auto* audioBox = new QGroupBox("Audio Option");
    auto* ag = new QGridLayout(audioBox);
    ag->addWidget(new QLabel("Audio Type"), 0, 0);
    ag->addWidget(audio, 0, 1);
    ag->addWidget(config, 0, 2);
    auto* rateBox = new QGroupBox("Sample Rate");
    auto* rg = new QHBoxLayout(rateBox);
    rg->addWidget(r32);
    rg->addWidget(r44);
    rg->addWidget(r48);
    ag->addWidget(rateBox, 1, 0, 1, 3);
    ag->addWidget(new QLabel("Audio Brief"), 2, 0);
    ag->addWidget(brief, 3, 0, 1, 3);
    auto* buttons = OkCancel(dlg, "OK", "Cancel");
    auto* v = new QVBoxLayout(&dlg);
    v->addWidget(video);
    v->addWidget(audioBox);
    v->addWidget(buttons);

    if (dlg.exec() != QDialog::Accepted) return false;
    const int ci = codec->currentIndex();
    if (ci >= 0) host.SetVideoCodec(codec->itemData(ci).value<quint32>());
    out->sampleRate = r32->isChecked() ? 32000 : r44->isChecked() ? 44100 : 48000;
    out->width = ParseDialogInt(w->text().toStdString());
    out->height = ParseDialogInt(h->text().toStdString());
    out->noChangeSize = noChange->isChecked();
    out->frameRateIndex = rate->currentIndex();
    out->audioType = audio->currentIndex();
    return true;
}

bool RunFormatChooseDialog(WindowHandle, const std::string& title, const std::vector<FormatItem>& items,
                           int* chosen) {
    if (!chosen || items.empty() || !DialogsAvailable()) return false;
    QDialog dlg(QApplication::activeWindow());
    dlg.setWindowTitle(QString::fromStdString(title));
    auto* tag = new QComboBox;
    auto* format = new QComboBox;
    std::vector<std::string> tags;
    for (const FormatItem& it : items) {
        if (std::find(tags.begin(), tags.end(), it.tagName) == tags.end()) tags.push_back(it.tagName);
    }
    for (const std::string& t : tags) tag->addItem(QString::fromStdString(t));
    auto fill = [&items, format](const QString& t) {
        format->clear();
        for (std::size_t i = 0; i < items.size(); ++i)
            if (QString::fromStdString(items[i].tagName) == t)
                format->addItem(QString::fromStdString(items[i].description), int(i));
    };
    QObject::connect(tag, &QComboBox::currentTextChanged, fill);
    if (*chosen >= 0 && *chosen < int(items.size()))
        tag->setCurrentText(QString::fromStdString(items[*chosen].tagName));
    fill(tag->currentText());
    if (*chosen >= 0) {
        const int at = format->findData(*chosen);
        if (at >= 0) format->setCurrentIndex(at);
    }
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Format:"), 0, 0);
    grid->addWidget(tag, 0, 1);
    grid->addWidget(new QLabel("Attributes:"), 1, 0);
    grid->addWidget(format, 1, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    auto* v = new QVBoxLayout(&dlg);
    v->addLayout(grid);
    v->addWidget(buttons);
    if (dlg.exec() != QDialog::Accepted || format->currentIndex() < 0) return false;
    *chosen = format->currentData().toInt();
    return true;
}

bool RunCompressorChooseDialog(WindowHandle, const std::vector<std::string>& names, CompressorChoice* io) {
    if (!io || names.empty() || !DialogsAvailable()) return false;
    QDialog dlg(QApplication::activeWindow());
    dlg.setWindowTitle("Video Compression");
    auto* list = new QComboBox;
    for (const std::string& n : names) list->addItem(QString::fromStdString(n));
    list->setCurrentIndex(io->item >= 0 && io->item < int(names.size()) ? io->item : 0);
    auto* keyCheck = new QCheckBox("Key Frame Every");
    auto* key = new QSpinBox;
    key->setRange(1, 10000);
    key->setValue(io->keyFrameEvery > 0 ? io->keyFrameEvery : 15);
    keyCheck->setChecked(io->keyFrameEvery > 0);
    auto* rateCheck = new QCheckBox("Data Rate");
    auto* rate = new QSpinBox;
    rate->setRange(1, 100000);
    rate->setSuffix(" KB/sec");
    rate->setValue(io->dataRateKBps > 0 ? io->dataRateKBps : 300);
    rateCheck->setChecked(io->dataRateKBps > 0);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Compressor:"), 0, 0);
    grid->addWidget(list, 0, 1);
    grid->addWidget(keyCheck, 1, 0);
    grid->addWidget(key, 1, 1);
    grid->addWidget(rateCheck, 2, 0);
    grid->addWidget(rate, 2, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    auto* v = new QVBoxLayout(&dlg);
    v->addLayout(grid);
    v->addWidget(buttons);
    if (dlg.exec() != QDialog::Accepted) return false;
    io->item = list->currentIndex();
    io->keyFrameEvery = keyCheck->isChecked() ? key->value() : 0;
    io->dataRateKBps = rateCheck->isChecked() ? rate->value() : 0;
    return true;
}

constexpr DialogTable kTable{DialogsAvailable,      WaitHandlingEvents,      SendToInterfaceThread,
                             OpenSession,           CloseSession,            RunLameConfigDialog,
                             RunAviOptionsDialog,   RunFormatChooseDialog,   RunCompressorChooseDialog};

}  // namespace
}  // namespace reelcast::platform::ui::qt

extern "C" __attribute__((visibility("default"))) const reelcast::platform::ui::DialogTable* ReelcastQtDialogs() {
    return &reelcast::platform::ui::qt::kTable;
}
