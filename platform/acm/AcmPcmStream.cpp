#include "platform/acm/AcmPcmStream.h"

#include <algorithm>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace reelcast::platform {
namespace {

AVSampleFormat SampleFormat(std::uint16_t bits) {
    switch (bits) {
        case 8: return AV_SAMPLE_FMT_U8;  // 8-bit wave PCM is unsigned
        case 16: return AV_SAMPLE_FMT_S16;
        case 32: return AV_SAMPLE_FMT_S32;
        default: return AV_SAMPLE_FMT_NONE;
    }
}

}  // namespace

bool AcmIsSupportedPcm(const WaveFormat& f) {
    return f.formatTag == kWaveFormatPcm && SampleFormat(f.bitsPerSample) != AV_SAMPLE_FMT_NONE &&
           f.channels >= 1 && f.channels <= 8 && f.samplesPerSec >= 1 &&
           f.samplesPerSec <= 768000 && f.blockAlign == f.channels * f.bitsPerSample / 8;
}

AcmPcmStream::~AcmPcmStream() { Close(); }

void AcmPcmStream::Close() { swr_free(&swr_); }

bool AcmPcmStream::Open(const WaveFormat& src, const WaveFormat& dst) {
    Close();
    if (!AcmIsSupportedPcm(src) || !AcmIsSupportedPcm(dst)) return false;
    AVChannelLayout inLayout, outLayout;
    av_channel_layout_default(&inLayout, src.channels);
    av_channel_layout_default(&outLayout, dst.channels);
    int rc = swr_alloc_set_opts2(&swr_, &outLayout, SampleFormat(dst.bitsPerSample),
                                 static_cast<int>(dst.samplesPerSec), &inLayout,
                                 SampleFormat(src.bitsPerSample),
                                 static_cast<int>(src.samplesPerSec), 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    av_channel_layout_uninit(&outLayout);
    if (rc < 0 || swr_init(swr_) < 0) {
        Close();
        return false;
    }
    src_ = src;
    dst_ = dst;
    return true;
}

std::int64_t AcmPcmStream::Convert(const std::uint8_t* src, std::uint32_t srcBytes,
                                   std::uint8_t* dst, std::uint32_t dstCapacity) {
    if (!swr_ || !dst) return -1;
    const int inCount = src ? static_cast<int>(srcBytes / src_.blockAlign) : 0;
    // The resampler sizes its working buffers by the output count it is
    // offered: offering no more than this call can produce keeps them at the
    // input's size instead of the whole destination's (megabytes).
    const int bound = swr_get_out_samples(swr_, inCount);
    if (bound < 0) return -1;
    const int outCount = std::min(static_cast<int>(dstCapacity / dst_.blockAlign), bound);
    const std::uint8_t* in[1] = {src};
    std::uint8_t* out[1] = {dst};
    // A null source flushes what the resampler holds back; an empty one does not.
    int got = swr_convert(swr_, out, outCount, src ? in : nullptr, inCount);
    if (got < 0) return -1;
    return static_cast<std::int64_t>(got) * dst_.blockAlign;
}

}  // namespace reelcast::platform
