// Base of the classes that own something a copy would share or free twice (a
// file, a thread, a codec context). It sits at the root of platform/ because
// that is the lowest layer: the engine, the desktop program and the command
// line all build on the stand-ins, and the stand-ins include nothing above them.
#pragma once

namespace reelcast {

// Deleting the copy also leaves the derived class without implicit moves.
class NonCopyable {
protected:
    NonCopyable() = default;
    ~NonCopyable() = default;

public:
    NonCopyable(const NonCopyable&) = delete;
    NonCopyable& operator=(const NonCopyable&) = delete;
};

}  // namespace reelcast
