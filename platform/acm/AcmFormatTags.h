// Stand-in for the Audio Compression Manager's driver and format-tag enumeration.
//
// The "installed drivers" are the PCM converter (always present) and one driver per
// audio codec family whose libavcodec decoder or encoder exists on this machine.
// Each driver lists the wave format tags it handles, with the tag names the system
// shows in its file information.
#pragma once

#include <cstdint>
#include <span>

namespace reelcast::platform {

struct AcmFormatTag {
    std::uint16_t tag;
    const char* name;  // the format-tag name, e.g. "PCM", "MPEG Layer-3"
};

struct AcmDriver {
    const char* shortName;
    const char* longName;
    std::span<const AcmFormatTag> tags;
};

// The installed drivers, in enumeration order. Built once; safe from any thread.
std::span<const AcmDriver> AcmInstalledDrivers();

// Walks the drivers and their tags in order; the first driver that handles tag
// gives *tagName and *driverLongName. False (outputs untouched) when none does.
bool AcmFindFormatTag(std::uint16_t tag, const char** tagName, const char** driverLongName);

}  // namespace reelcast::platform
