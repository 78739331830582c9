#include "engine/core/OmbrixDll.h"

#include "engine/core/Component.h"

namespace reelcast::core {
namespace {

class OmbrixDll final : public Component<IOmbrixDll, OmbrixDll> {
public:
    bool Init() override { return true; }
};

}  // namespace
}  // namespace reelcast::core

REELCAST_EXPORT_COMPONENT(OMBRIXDLL, reelcast::core::OmbrixDll)
