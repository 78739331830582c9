// The engine's 22 components by export name, in the order of the export table.
#pragma once

#define REELCAST_FOR_EACH_COMPONENT(X) \
    X(OMBRIX)                          \
    X(OMBRIXDLL)                       \
    X(MEDIAGETINFO)                    \
    X(VFWMEDIAGETINFO)                 \
    X(DXMEDIAGETINFO)                  \
    X(VIDEODATADLL)                    \
    X(VFWVIDEODATA)                    \
    X(MEDIAVIDEO)                      \
    X(MEDIAAUDIODATA)                  \
    X(WAVFILE)                         \
    X(ASCONVERT)                       \
    X(YUVUTL)                          \
    X(YUVRGB)                          \
    X(MPGLIB)                          \
    X(MPGLIB_VIDEO)                    \
    X(MPGLIB_AUDIO)                    \
    X(MPGLIB_MUX)                      \
    X(AVIENCWRAPPER)                   \
    X(AVIENC)                          \
    X(AVILIB)                          \
    X(LAME)                            \
    X(MYVFW)
