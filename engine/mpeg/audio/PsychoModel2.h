// Psychoacoustic model 2 of ISO/IEC 11172-3 (Annex D) as the Layer II encoder
// runs it: two 1024-point analyses per 1152-sample frame and channel, giving one
// signal-to-mask ratio per subband (the larger of the two).
#pragma once

#include "engine/mpeg/audio/Fft1024.h"

namespace reelcast::mpeg::audio {

class PsychoModel2 {
public:
    static constexpr int kMaxPartitions = 63;
    static constexpr int kLines = Fft1024::kLines;  // 513
    static constexpr int kSyncSize = 1056;          // samples held per channel
    static constexpr int kFlush = 576;              // new samples per analysis
    static constexpr int kSyncFlush = kSyncSize - kFlush;

    PsychoModel2();

    // Builds the partition, spreading and threshold tables for the sampling rate
    // (32000, 44100 or 48000); false for any other rate. Also clears the history.
    bool Setup(int sampleRate);

    // Clears the sample history and the two previous spectra of both channels.
    void Reset();

    // One frame of channel ch: 1152 samples in the 16-bit scale (not normalised).
    // Writes 32 signal-to-mask ratios in dB.
    void Analyse(int ch, const float* samples, float* smr);

    int partitions() const { return partitions_; }
    float partitionBark(int j) const { return bval_[j]; }

private:
    void AnalyseOnce(int ch, float* smr, bool first);

    Fft1024 fft_;
    float window_[Fft1024::kSize];
    const float* absThr_ = nullptr;
    int partitions_ = 0;
    unsigned char partOfLine_[kLines];
    int firstLine_[kMaxPartitions + 1];  // lines of partition j: firstLine_[j] .. firstLine_[j + 1] - 1
    float bval_[kMaxPartitions];
    float tmn_[kMaxPartitions];
    float minval_[kMaxPartitions];
    float nbScale_[kMaxPartitions];  // 1 / (rnorm * lines), 0 for an empty partition
    // Spreading from masker i into partition j, as spreadT_[i][j].
    alignas(32) float spreadT_[kMaxPartitions][kMaxPartitions + 1];

    // Per channel history.
    float saved_[2][kSyncSize];
    float r1_[2][kLines], r2_[2][kLines];  // magnitudes one and two analyses ago
    float c1_[2][kLines], s1_[2][kLines];  // unit phasors one analysis ago
    float c2_[2][kLines], s2_[2][kLines];  // and two analyses ago

    // Scratch.
    float windowed_[Fft1024::kSize];
    float re_[kLines], im_[kLines];
    float energy_[kLines];
    float unpred_[kLines];  // unpredictability of each line
    float thr_[kLines];
    float groupE_[kMaxPartitions], groupC_[kMaxPartitions];
    alignas(32) float ecb_[kMaxPartitions], ccb_[kMaxPartitions];  // spread sums
    float nb_[kMaxPartitions];
};

}  // namespace reelcast::mpeg::audio
