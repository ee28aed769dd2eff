// The module file's one exported symbol: the descriptor a host reads first.
#include "hostapi/module.h"
#include "module/servers.h"

extern "C" __attribute__((visibility("default")))
const HostModuleDescriptor _mod_descrip = {
    HOST_MODULE_SYNC,      HOST_MODULE_SYSTEM_VERSION, HOST_MODULE_MACHINE,
    lensfall::startModule, lensfall::stopModule,       lensfall::kServerList,
};
