// Activation functions of the module's two servers and the module's startup
// and shutdown. The descriptor that lists them is the module file's only
// export.
#pragma once

#include "hostapi/module.h"

namespace lensfall {

inline constexpr char kServerName[] = "Lensfall";
inline constexpr char kFilterClass[] = "ImageFilterHandler";
inline constexpr char kInterfaceClass[] = "ImageFilterInterface";

// The module data token that startup returns.
void *startModule() noexcept;
void stopModule(void *moduleData) noexcept;

// Filter server: installs the instance, item, flags and process callbacks
// into the host's HostFilterHandler and acquires the nine host services.
int activateFilter(int version, HostGlobalFunc *global, void *local,
                   void *serverData) noexcept;

// Interface server: acquires the form and window services and installs the
// options callback into the host's HostInterfaceRecord.
int activateInterface(int version, HostGlobalFunc *global, void *local,
                      void *serverData) noexcept;

// The server list of the descriptor, ended by a record of four nulls.
extern const HostServerRecord kServerList[3];

}  // namespace lensfall
