#include "engine/mpeg/video/MpegVideoEncoder.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "engine/core/ThreadCount.h"
#include "engine/mpeg/mux/IMpegMultiplexer.h"
#include "engine/mpeg/video/GopStructure.h"
#include "engine/mpeg/video/HeaderWriter.h"
#include "engine/mpeg/video/kernels/Cpu.h"

namespace reelcast::mpeg::video {
namespace {

// Copies a w x h plane into a store of sw x sh, repeating the last column and
// row into the padding so that the coded area beyond the picture stays cheap.
void CopyPlane(std::uint8_t* dst, int sw, int sh, const std::uint8_t* src, int w, int h) {
    if (w <= 0 || h <= 0) return;
    for (int y = 0; y < sh; ++y) {
        const std::uint8_t* s = src + static_cast<std::ptrdiff_t>(std::min(y, h - 1)) * w;
        std::uint8_t* d = dst + static_cast<std::ptrdiff_t>(y) * sw;
        const int n = std::min(w, sw);
        std::memcpy(d, s, static_cast<std::size_t>(n));
        if (sw > n) std::memset(d + n, s[n - 1], static_cast<std::size_t>(sw - n));
    }
}

}  // namespace

MpegVideoEncoder::MpegVideoEncoder() = default;

MpegVideoEncoder::~MpegVideoEncoder() {
    FreeCoding();
    FreeStream();
}

bool MpegVideoEncoder::Init() {
    FreeCoding();
    settings_ = SequenceSettings{};
    settings_.uncontrolledBitRate = 1151929.0;
    settings_.profile = 4;
    settings_.level = 8;
    settings_.matrixCoefficients = 5;
    kernelFamily_ = 1;
    codingIndex_ = 0;
    headersWritten_ = false;
    picturesCoded_ = 0;
    rc_ = RateControl{};
    return true;
}

void MpegVideoEncoder::SetPictureFormat(std::int32_t chromaFormat, double bitRate, std::int32_t frameRateCode,
                                        std::int32_t width, std::int32_t height, std::int32_t gopLength,
                                        std::int32_t totalPictures) {
    settings_.chromaFormat = chromaFormat;
    settings_.bitRate = bitRate;
    settings_.frameRateCode = frameRateCode;
    settings_.width = width;
    settings_.height = height;
    settings_.gopLength = gopLength;
    settings_.totalPictures = totalPictures;
    settings_.uncontrolledBitRate = 2600000.0;
}

void MpegVideoEncoder::SetCodingMode(std::int32_t codingKind, std::int32_t initialVbvDelay,
                                     std::int32_t progressiveSequence, double frameRate,
                                     std::int32_t progressiveFrame, std::int32_t intraDcPrecision,
                                     std::int32_t constantBitRate, std::int32_t mpeg1Syntax,
                                     std::int32_t vbvBufferSize, std::int32_t fixedQuantiserCode,
                                     std::int32_t constrainedParameters, std::int32_t aspectRatioInformation,
                                     std::int32_t transferCharacteristics, std::int32_t colourPrimaries,
                                     std::int32_t videoFormat) {
    CodingMode& m = settings_.mode;
    m.codingKind = codingKind;
    m.initialVbvDelay = initialVbvDelay;
    m.progressiveSequence = progressiveSequence;
    m.frameRate = frameRate;
    m.progressiveFrame = progressiveFrame;
    m.intraDcPrecision = intraDcPrecision;
    m.constantBitRate = constantBitRate;
    m.mpeg1Syntax = mpeg1Syntax;
    m.vbvBufferSize = vbvBufferSize;
    m.fixedQuantiserCode = fixedQuantiserCode;
    m.constrainedParameters = constrainedParameters;
    m.aspectRatioInformation = aspectRatioInformation;
    m.transferCharacteristics = transferCharacteristics;
    m.colourPrimaries = colourPrimaries;
    m.videoFormat = videoFormat;
}

std::int32_t MpegVideoEncoder::DetectProcessor() {
    cpuFeatures_ = kernels::DetectProcessor();
    kernelFamily_ = 1;
    return cpuFeatures_;
}

void MpegVideoEncoder::SetMultiplexer(IMpegMultiplexer* mux) { mux_ = mux; }

int MpegVideoEncoder::FixedQuantiser() const {
    return std::clamp(2 * settings_.mode.fixedQuantiserCode, 2, 62);
}

bool MpegVideoEncoder::AllocateCoding() {
    const SequenceSettings& s = settings_;
    geo_.mbWidth = (s.width + 15) / 16;
    geo_.mbHeight = s.mode.progressiveSequence ? (s.height + 15) / 16 : 2 * ((s.height + 31) / 32);
    geo_.lumaWidth = geo_.mbWidth * 16;
    geo_.lumaHeight = geo_.mbHeight * 16;
    geo_.chromaWidth = geo_.lumaWidth / 2;
    geo_.chromaHeight = geo_.lumaHeight / 2;

    switch (s.chromaFormat) {
    case 1:
        inputChromaWidth_ = s.width / 2;
        inputChromaHeight_ = s.height / 2;
        break;
    case 3:
        inputChromaWidth_ = s.width;
        inputChromaHeight_ = s.height;
        break;
    default:
        inputChromaWidth_ = s.width / 2;
        inputChromaHeight_ = s.height;
        break;
    }
    const std::size_t lumaIn = static_cast<std::size_t>(s.width) * static_cast<std::size_t>(s.height);
    const std::size_t chromaIn =
        static_cast<std::size_t>(inputChromaWidth_) * static_cast<std::size_t>(inputChromaHeight_);
    const std::size_t lumaSize = static_cast<std::size_t>(geo_.lumaWidth) * geo_.lumaHeight;
    const std::size_t chromaSize = static_cast<std::size_t>(geo_.chromaWidth) * geo_.chromaHeight;
    const std::size_t storeSize = lumaSize + 2 * chromaSize;
    // B pictures in the coded layout are read where they were queued, and
    // their reconstruction is read by the observer only.
    constexpr int kMaxStores = 7;
    PictureStore* stores[kMaxStores] = {&refSrc_[0], &refSrc_[1], &rec_[0], &rec_[1], &pred_};
    int storeCount = 5;
    if (!QueueHasCodedLayout()) stores[storeCount++] = &auxSrc_;
    if (observer_) stores[storeCount++] = &auxRec_;
    try {
        for (auto& slot : slots_) slot.assign(lumaIn + 2 * chromaIn, 0);
        storeMemory_.assign(storeSize * static_cast<std::size_t>(storeCount), 0);
        if (s.chromaFormat != 1) {
            chromaTemp_.assign(static_cast<std::size_t>(s.width / 2) * static_cast<std::size_t>(s.height), 0);
        }
        mbInfo_.assign(static_cast<std::size_t>(geo_.MbCount()), MacroblockInfo{});
        coeffs_.assign(static_cast<std::size_t>(geo_.MbCount()) * kCoeffsPerMb, 0);
    } catch (const std::bad_alloc&) {
        FreeCoding();
        return false;
    }
    if (!motion_.Allocate(geo_)) {
        FreeCoding();
        return false;
    }
    for (int i = 0; i < storeCount; ++i) {
        std::uint8_t* base = storeMemory_.data() + storeSize * static_cast<std::size_t>(i);
        stores[i]->y = base;
        stores[i]->cb = base + lumaSize;
        stores[i]->cr = base + lumaSize + chromaSize;
    }
    for (bool& f : slotFilled_) f = false;
    queueCount_ = 0;
    return true;
}

void MpegVideoEncoder::FreeCoding() {
    for (auto& slot : slots_) std::vector<std::uint8_t>().swap(slot);
    for (bool& f : slotFilled_) f = false;
    queueCount_ = 0;
    std::vector<std::uint8_t>().swap(storeMemory_);
    std::vector<std::uint8_t>().swap(chromaTemp_);
    std::vector<MacroblockInfo>().swap(mbInfo_);
    std::vector<std::int16_t>().swap(coeffs_);
    motion_.Free();
    team_.Stop();
    refSrc_[0] = refSrc_[1] = rec_[0] = rec_[1] = auxSrc_ = auxRec_ = pred_ = PictureStore{};
    started_ = false;
}

bool MpegVideoEncoder::Start() {
    const SequenceSettings& s = settings_;
    // Sizes the syntax cannot carry: MPEG-1 slice start codes end at row 175.
    if (s.width <= 0 || s.height <= 0 || s.width > 16383 || s.height > 16383 ||
        (!s.Mpeg2() && (s.width > 4095 || s.height > kSliceExtensionHeight)) || !(s.mode.frameRate > 0.0))
        return false;
    FreeCoding();
    if (!output_) {
        output_.reset(new (std::nothrow) std::uint8_t[BitWriter::kBufferSize]);
        if (!output_) return false;
    }
    bw_.buffer = output_.get();
    bw_.Reset();

    if (!AllocateCoding()) return false;
    team_.Start(core::ConversionThreads());
    motion_.ResetMaxima();
    kernels_ = kernels::SelectVideoKernels();
    coder_.Configure(&settings_, geo_, &kernels_);
    coder_.fixedQuantiser = FixedQuantiser();

    rc_.StartSequence(s.bitRate, s.mode.frameRate, geo_.MbCount(), s.mode.vbvBufferSize, s.Mpeg2(),
                      s.mode.progressiveSequence != 0);
    rc_.SetCapped(CapsBitRate(s.mode));

    codingIndex_ = 0;
    picturesCoded_ = 0;
    bw_.AlignToByte();
    pictureStart_ = static_cast<std::int64_t>(bw_.totalBits / 8);
    headersWritten_ = true;
    WriteSequenceHeader(bw_, settings_);
    started_ = true;
    return true;
}

void MpegVideoEncoder::FlushPendingBytes() {
    // The writer keeps up to 32 bits back; after a start code they are whole bytes.
    const int n = bw_.pendingBits / 8;
    for (int i = 0; i < n; ++i) {
        if (bw_.overflow || !bw_.buffer) break;
        bw_.buffer[bw_.writeIndex++] = static_cast<std::uint8_t>(bw_.accumulator >> (24 - 8 * i));
        if (bw_.writeIndex >= BitWriter::kBufferSize) {
            bw_.overflow = 1;
            bw_.writeIndex = 0;
        }
    }
    bw_.accumulator = 0;
    bw_.pendingBits = 0;
}

void MpegVideoEncoder::Stop() {
    // A second Stop must not append another end code to the finished stream.
    if (!started_) return;
    WriteSequenceEnd(bw_);
    FlushPendingBytes();
    FreeCoding();
}

bool MpegVideoEncoder::QueueFrame(const VideoFrame* frame, std::int32_t pictureNumber) {
    (void)pictureNumber;  // only the error text would name it
    if (!started_ || !frame || !frame->y || !frame->cb || !frame->cr) return false;
    if (queueCount_ >= kQueueSlots) return false;
    const SequenceSettings& s = settings_;
    const std::size_t lumaIn = static_cast<std::size_t>(s.width) * static_cast<std::size_t>(s.height);
    std::size_t chromaIn;
    switch (frame->chromaFormat) {
    case 1:
        chromaIn = static_cast<std::size_t>(s.width / 2) * static_cast<std::size_t>(s.height / 2);
        break;
    case 3:
        chromaIn = lumaIn;
        break;
    default:
        chromaIn = static_cast<std::size_t>(s.width / 2) * static_cast<std::size_t>(s.height);
        break;
    }
    std::vector<std::uint8_t>& slot = slots_[queueCount_];
    const std::size_t slotChroma = (slot.size() - lumaIn) / 2;
    // A picture of another chroma format than announced cannot be fitted in.
    if (chromaIn > slotChroma) return false;
    std::memcpy(slot.data(), frame->y, lumaIn);
    std::memcpy(slot.data() + lumaIn, frame->cb, chromaIn);
    std::memcpy(slot.data() + lumaIn + slotChroma, frame->cr, chromaIn);
    slotFilled_[queueCount_] = true;
    ++queueCount_;
    return true;
}

bool MpegVideoEncoder::PutFrame(const VideoFrame* frame, bool* ok, std::int32_t index) {
    if (index == 0) {
        QueueFrame(frame, index);
        const bool r = EncodeNextPicture();
        if (ok) *ok = r;
        return true;
    }
    if (!QueueFrame(frame, index)) return false;
    if (index % 3 == 0) {
        for (int i = 0; i < 3; ++i) {
            const bool r = EncodeNextPicture();
            if (ok) *ok = r;
            if (!r) break;
        }
    }
    return true;
}

bool MpegVideoEncoder::QueueHasCodedLayout() const {
    const SequenceSettings& s = settings_;
    return s.chromaFormat == 1 && s.width == geo_.lumaWidth && s.height == geo_.lumaHeight;
}

bool MpegVideoEncoder::FetchPicture(int d, PictureStore* dst, bool borrow) {
    const int slot = QueueSlotFor(d);
    if (!slotFilled_[slot]) return false;
    if (d == 0) {
        if (queueCount_ > 0) --queueCount_;
    } else if (d % 3 == 0) {
        queueCount_ = 0;
    }
    const SequenceSettings& s = settings_;
    const std::uint8_t* y = slots_[slot].data();
    const std::size_t lumaIn = static_cast<std::size_t>(s.width) * static_cast<std::size_t>(s.height);
    const std::size_t chromaIn = (slots_[slot].size() - lumaIn) / 2;
    const std::uint8_t* cb = y + lumaIn;
    const std::uint8_t* cr = cb + chromaIn;
    if (borrow && QueueHasCodedLayout()) {
        std::uint8_t* planes = slots_[slot].data();
        *dst = PictureStore{planes, planes + lumaIn, planes + lumaIn + chromaIn};
        return true;
    }
    CopyPlane(dst->y, geo_.lumaWidth, geo_.lumaHeight, y, s.width, s.height);
    const int cw = s.width / 2;
    const int ch = s.height / 2;
    if (s.chromaFormat == 1) {
        CopyPlane(dst->cb, geo_.chromaWidth, geo_.chromaHeight, cb, cw, ch);
        CopyPlane(dst->cr, geo_.chromaWidth, geo_.chromaHeight, cr, cw, ch);
        return true;
    }
    // Other formats: down to 4:2:0 through the chroma filters, into the
    // prediction store's chroma planes first (free until the picture is coded).
    const std::uint8_t* planes[2] = {cb, cr};
    std::uint8_t* outs[2] = {dst->cb, dst->cr};
    std::uint8_t* halves[2] = {pred_.cb, pred_.cr};  // cw x ch fits in the coded chroma size
    for (int c = 0; c < 2; ++c) {
        std::uint8_t* half = halves[c];
        const std::uint8_t* plane422 = planes[c];
        if (s.chromaFormat == 3) {
            kernels_.Chroma444To422(planes[c], chromaTemp_.data(), s.width, s.height, s.mode.mpeg1Syntax);
            plane422 = chromaTemp_.data();
        }
        kernels_.Chroma422To420(plane422, half, cw, s.height, s.mode.progressiveFrame);
        CopyPlane(outs[c], geo_.chromaWidth, geo_.chromaHeight, half, cw, ch);
    }
    return true;
}

bool MpegVideoEncoder::EncodeNextPicture() {
    if (!started_) return false;
    if (bw_.overflow) {
        FreeCoding();
        return false;
    }
    const SequenceSettings& s = settings_;
    const int n = (s.gopLength > 0 && s.gopLength % 3 == 0) ? s.gopLength : 15;
    const CodedPicture cp = PictureAt(codingIndex_, n, s.totalPictures);
    const bool cbr = s.mode.constantBitRate != 0;

    PictureRefs refs = TakeStores(cp.type);
    for (int& f : fCode_) f = 15;
    if (cp.type == kPictureI) BeginGroup(cp.groupStart, n, cbr);
    // A B picture is read where it was queued when it already has the store's
    // layout: no picture predicts from it, and its slot is not refilled before
    // it is coded. A reference outlives its slot and is copied.
    if (!FetchPicture(cp.displayNumber, &refs.src, cp.type == kPictureB)) {
        FreeCoding();
        return false;
    }
    AnalysePicture(cp.type, refs, cbr);
    if (!WritePicture(cp, refs, cbr)) {
        FreeCoding();
        return false;
    }
    return HandOverPicture(cp, refs.rec);
}

// The stores the picture is read into and reconstructed in: a reference picture
// takes the older reference pair's; a B picture the auxiliary pair.
PictureRefs MpegVideoEncoder::TakeStores(int pictureType) {
    PictureRefs refs;
    if (pictureType != kPictureB) {
        std::swap(refSrc_[0], refSrc_[1]);
        std::swap(rec_[0], rec_[1]);
        refs.src = refSrc_[1];
        refs.rec = rec_[1];
    } else {
        refs.src = auxSrc_;
        // No later picture predicts from a B picture: only an observer needs its reconstruction.
        if (observer_) refs.rec = auxRec_;
    }
    refs.oldRec = rec_[0];
    refs.newRec = rec_[1];
    refs.pred = pred_;
    return refs;
}

// An I picture opens a group: the rate control's budget for it, and (after the
// first) the sequence header again before the group header.
void MpegVideoEncoder::BeginGroup(int groupStart, int n, bool cbr) {
    const SequenceSettings& s = settings_;
    const GroupCounts gc = GroupCountsAt(groupStart, n, s.totalPictures);
    if (cbr) rc_.StartGroup(gc.np, gc.nb);
    if (codingIndex_ != 0) {
        bw_.AlignToByte();
        pictureStart_ = static_cast<std::int64_t>(bw_.totalBits / 8);
        headersWritten_ = true;
        WriteSequenceHeader(bw_, s);
    }
    WriteGroupHeader(bw_, s, groupStart, groupStart == 0);
}

// Motion search, the macroblock decisions, prediction, transform and activity. Each
// macroblock row depends only on whole pictures prepared before (sources,
// earlier reconstructions, quarter pictures), so the rows may run on the
// thread team in any order with the same results.
void MpegVideoEncoder::AnalysePicture(int pictureType, const PictureRefs& refs, bool cbr) {
    const SequenceSettings& s = settings_;
    motion_.PreparePicture(refs.src.y, pictureType, kernels_);
    if (pictureType == kPictureI) motion_.MarkIntra(mbInfo_.data());
    MotionSearch::Pictures pics;
    pics.cur = refs.src.y;
    pics.oldSrc = refSrc_[0].y;
    pics.newSrc = refSrc_[1].y;
    pics.oldRec = rec_[0].y;
    pics.newRec = rec_[1].y;
    // The activities' block sums give the search its variances as well.
    const auto variances = cbr ? MotionSearch::Variances::Known : MotionSearch::Variances::Compute;
    team_.Run(geo_.mbHeight, [&](int row) {
        if (cbr)
            ComputeActivities(refs.src.y, geo_.lumaWidth, geo_, s.mode.progressiveSequence != 0, row, mbInfo_.data(),
                              kernels_);
        if (pictureType != kPictureI)
            motion_.SearchRows(pictureType, pics, row, row + 1, mbInfo_.data(), kernels_, variances);
        coder_.PredictAndTransform(refs, mbInfo_.data(), coeffs_.data(), row, row + 1);
    });
    if (pictureType != kPictureI) motion_.AdaptFCodes(pictureType, s.mode.mpeg1Syntax != 0, fCode_);
}

// The picture layer: picture header and extensions, then the slices.
bool MpegVideoEncoder::WritePicture(const CodedPicture& cp, const PictureRefs& refs, bool cbr) {
    const SequenceSettings& s = settings_;
    bw_.AlignToByte();
    if (!headersWritten_) pictureStart_ = static_cast<std::int64_t>(bw_.totalBits / 8);
    const int firstQ = cbr ? rc_.StartPicture(cp.type, static_cast<double>(bw_.totalBits)) : FixedQuantiser();
    // vbv_delay counts from the end of the picture start code.
    const int vbv = rc_.VbvDelay(cp.type, static_cast<double>(bw_.totalBits + 32));
    WritePictureHeader(bw_, s, cp.type, cp.temporalReference, s.mode.mpeg1Syntax ? 0xFFFF : vbv, fCode_);
    if (s.Mpeg2()) WritePictureCodingExtension(bw_, s, fCode_);
    if (s.mode.Kind() == CodingKind::SvcdOrDvd && cp.type == kPictureI) WriteSvcdUserData(bw_);
    if (!coder_.CodePicture(bw_, cp.type, fCode_, mbInfo_.data(), coeffs_.data(), cbr ? &rc_ : nullptr, firstQ))
        return false;
    // The reconstruction is read by later pictures only, so it runs on the
    // thread team after the picture's bits are written.
    if (refs.rec.y) {
        team_.Run(geo_.mbHeight, [&](int row) {
            coder_.ReconstructRows(mbInfo_.data(), coeffs_.data(), refs, row, row + 1);
        });
    }
    rc_.EndPictureVbv(static_cast<double>(bw_.totalBits));
    if (cbr) rc_.EndPicture(bw_);
    return true;
}

// Announces the coded picture to the multiplexer and the observer.
bool MpegVideoEncoder::HandOverPicture(const CodedPicture& cp, const PictureStore& rec) {
    const std::int64_t endByte = static_cast<std::int64_t>((bw_.totalBits + 7) / 8);
    VideoUnit unit{};
    unit.length = static_cast<std::uint32_t>(endByte - pictureStart_);
    unit.pictureType = static_cast<std::uint32_t>(cp.type);
    bool result = true;
    if (mux_) {
        result = mux_->AddVideoPicture(codingIndex_, cp.displayNumber, settings_.mode.frameRate, timeValue_,
                                       1.5 * timeValue_, &unit);
    }
    if (observer_) observer_(cp.displayNumber, rec, geo_);
    headersWritten_ = false;
    ++codingIndex_;
    ++picturesCoded_;
    return result;
}

std::int32_t MpegVideoEncoder::ReadStream(std::uint8_t* destination, std::int32_t maximum) {
    if (!destination || !bw_.buffer || maximum <= 0 || bw_.writeIndex <= 0) return 0;
    const std::int32_t n = std::min(maximum, bw_.writeIndex);
    std::memcpy(destination, bw_.buffer, static_cast<std::size_t>(n));
    std::memmove(bw_.buffer, bw_.buffer + n, static_cast<std::size_t>(bw_.writeIndex - n));
    bw_.writeIndex -= n;
    return n;
}

void MpegVideoEncoder::FreeStream() {
    output_.reset();
    bw_.buffer = nullptr;
    bw_.writeIndex = 0;
}

EncoderStats MpegVideoEncoder::Stats() const {
    EncoderStats st;
    st.picturesCoded = picturesCoded_;
    st.vbv = rc_.Counts();
    st.bitsWritten = bw_.totalBits;
    return st;
}

}  // namespace reelcast::mpeg::video

REELCAST_EXPORT_COMPONENT(MPGLIB_VIDEO, reelcast::mpeg::video::MpegVideoEncoder)
