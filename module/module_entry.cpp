#include "module/servers.h"

namespace lensfall {

namespace {

// Any non-null token serves; the module never reads it back.
int moduleToken = 4;

}  // namespace

void *startModule() noexcept { return &moduleToken; }

void stopModule(void *) noexcept {}

const HostServerRecord kServerList[3] = {
    {kFilterClass, kServerName, activateFilter, nullptr},
    {kInterfaceClass, kServerName, activateInterface, nullptr},
    {nullptr, nullptr, nullptr, nullptr},
};

}  // namespace lensfall
