/* Load and save states: the host's reader and writer over one instance's
 * data in a scene file. Items are read back in the order they were written. */
#ifndef LENSFALL_HOSTAPI_IO_STATE_H
#define LENSFALL_HOSTAPI_IO_STATE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct HostLoadState {
  int ioMode; /* 0 binary, 1 text: the module does not look at it */
  void *readData;
  /* Reads up to n integers; returns how many were read. */
  int (*readI4)(void *readData, int32_t *values, int n);
  /* Reads a string into buf (size bytes, always terminated when size > 0);
   * returns the string's length, or -1 when no string could be read. */
  int (*readStr)(void *readData, char *buf, int size);
} HostLoadState;

typedef struct HostSaveState {
  int ioMode;
  void *writeData;
  void (*writeI4)(void *writeData, const int32_t *values, int n);
  void (*writeStr)(void *writeData, const char *text);
} HostSaveState;

#ifdef __cplusplus
}
#endif

#endif
