// The conversion window: the user names the input and output files, and the
// window runs one of three routes (the engine's MPEG job, its AVI job, or the
// QuickTime/Flash bridge), shows progress and the jobs' messages, and can stop.
#pragma once

#include <QDialog>
#include <QPoint>
#include <QRegion>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/ConvertArtwork.h"
#include "app/JobCallbacks.h"
#include "app/logic/ConvertModes.h"
#include "app/logic/ConvertWindowLogic.h"
#include "engine/core/ComponentHandle.h"
#include "engine/jobs/IAviConversionJob.h"
#include "engine/jobs/IMpegConversionJob.h"
#include "platform/window/IPreviewSurface.h"

class IMovbridge;
class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QTimer;
class QToolButton;

namespace reelcast::app {

class MpegSettingDialogs;
class TfrmPreview;
class TImageList;
class TTransparentButton;

class TfrmConvert : public QDialog, public IJobEvents {
    Q_OBJECT
public:
    explicit TfrmConvert(QWidget* parent = nullptr);
    ~TfrmConvert() override;

    // Sets the mode of `entry` and shows the window modally; mainWindow is hidden
    // meanwhile and shown again centred on this window when it closes.
    void ShowForEntry(ConvertEntry entry, QWidget* mainWindow);

    ConvertState convertState() const { return convertState_; }
    int convertMode() const { return convertMode_; }
    bool useMovbridge() const { return useMovbridge_; }
    bool cancelRequested() const { return cancelRequested_.load(); }
    TfrmPreview* preview() const { return frmPreview_; }
    MpegSettingDialogs& settingDialogs() const { return *settingDialogs_; }

    // Controls, named as the form declares them.
    QLabel* Image1 = nullptr;
    QLabel* Label_Title = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QLabel* Label3 = nullptr;
    TTransparentButton* TransparentButton1 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Edit_InputFile = nullptr;
    QToolButton* btnOpen = nullptr;
    TTransparentButton* btnInfo = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Edit_OutputFile = nullptr;
    QToolButton* btnSave = nullptr;
    TTransparentButton* btnConvert = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* Label_Percent = nullptr;
    QTimer* Timer1 = nullptr;
    TImageList* ImageList_Convert = nullptr;
    TImageList* ImageList_Cancel = nullptr;

    // The bridge's notification, on this window's thread.
    void HandleBridgeEvent(std::int32_t kind, std::int32_t value);

public slots:
    void btnConvertClick();
    void TransparentButton1Click();

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // IJobEvents: the jobs' blocking messages.
    void OnJobProgress(std::int32_t permyriad) override;
    void OnJobFinished() override;
    void OnJobMessage(const std::string& text) override;

    void FormCreate();
    void btnConvertMouseDown();
    void btnOpenClick();
    void btnSaveClick();
    void btnInfoClick();
    void CheckBox1Click(bool checked);
    void Edit_InputFileChange(const QString& text);
    void Timer1Timer();

    void StopConversion();
    bool StartAviJob(const std::string& input, const std::string& output);
    bool StartMovbridge(const std::string& input, const std::string& output);
    bool StartMpeg(const std::string& input, const std::string& output);
    // Back to idle after an end: start faces, btnInfo enabled.
    void EnterIdle();
    void SetConvertFaces(ConvertFace face);
    void ShowBox(const MessageSpec& m);
    void SetShapeBand(int halfHeight);
    void Fold();
    void CloseWindow();
    // Lets a previous AVI conversion's worker end (it may be in a last callback).
    void WaitForAviWorker();

    // Window state.
    core::ComponentHandle<IMovbridge> bridge_;
    core::ComponentHandle<IAviConversionJob> aviJob_;
    core::ComponentHandle<IMpegConversionJob> mpegJob_;
    std::unique_ptr<CMACallBack> aviCallback_;
    std::unique_ptr<COmbrixCallback> mpegCallback_;
    QPoint dragOrigin_;
    bool dragging_ = false;
    QRegion shape_;
    int halfHeight_ = 0;
    ConvertState convertState_ = ConvertState::Idle;
    std::atomic<bool> cancelRequested_{false};
    int convertMode_ = 0;
    bool useMovbridge_ = false;

    // Mode set by the main window.
    std::string title_;
    std::string openFilter_;
    std::string saveFilter_;
    std::string defaultExt_;

    QWidget* mainWindow_ = nullptr;
    TfrmPreview* frmPreview_ = nullptr;
    std::unique_ptr<MpegSettingDialogs> settingDialogs_;
    std::unique_ptr<platform::IPreviewSurface> bridgeTarget_;  // receives the bridge's events
    EmptiedOutput emptiedOutput_;
    std::string writtenOutput_;  // the file the running conversion writes
    bool closing_ = false;
    // While "Stop the converting?" is open, a box from the job's end waits for
    // the answer instead of opening over the question.
    bool askingStop_ = false;
    std::optional<MessageSpec> heldBox_;
};

}  // namespace reelcast::app
