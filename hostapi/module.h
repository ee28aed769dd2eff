/* The module's entry into the host: the exported descriptor, its server list
 * and the global-lookup function that activations receive.
 *
 * Plain C records shared by the module and any host that loads it. */
#ifndef LENSFALL_HOSTAPI_MODULE_H
#define LENSFALL_HOSTAPI_MODULE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The three identification words a host checks before it trusts a module file.
 */
enum {
  HOST_MODULE_SYNC = 0x04121994,
  HOST_MODULE_SYSTEM_VERSION = 3,
  HOST_MODULE_MACHINE = 0x300
};

/* Interface version that the activations of this module accept. */
enum { HOST_INTERFACE_VERSION = 4 };

/* Activation results. */
enum {
  HOST_ACTIVATE_OK = 0,
  HOST_ACTIVATE_BAD_VERSION = 1,
  HOST_ACTIVATE_BAD_SERVICE = 2
};

/* Looks a host service up by name; returns null when the host has none. */
typedef void *HostGlobalFunc(const char *serviceName, int useMode);

/* Activates one server: (interface version, global lookup, the host's local
 * record for this server class, server data). */
typedef int HostActivateFunc(int version, HostGlobalFunc *global, void *local,
                             void *serverData);

typedef struct HostServerRecord {
  const char *className;
  const char *name;
  HostActivateFunc *activate;
  const void *tags;
} HostServerRecord;

typedef struct HostModuleDescriptor {
  uint32_t sync;
  uint32_t systemVersion;
  uint32_t machine;
  void *(*startup)(void);
  void (*shutdown)(void *moduleData);
  const HostServerRecord *servers; /* ended by a record of four nulls */
} HostModuleDescriptor;

/* Name of the one data symbol a module exports. */
#define HOST_MODULE_DESCRIPTOR_SYMBOL "_mod_descrip"

#ifdef __cplusplus
}
#endif

#endif
