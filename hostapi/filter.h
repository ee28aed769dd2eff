/* The image-filter handler: instance callbacks, item callbacks, flags and the
 * per-frame process callback with its filter access record. */
#ifndef LENSFALL_HOSTAPI_FILTER_H
#define LENSFALL_HOSTAPI_FILTER_H

#include "hostapi/ids.h"
#include "hostapi/io_state.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef void *HostInstance;

typedef struct HostInstanceFuncs {
  void *privateData;
  HostInstance (*create)(void *privateData, void *context, const char **error);
  void (*destroy)(HostInstance instance);
  const char *(*copy)(HostInstance to, HostInstance from);
  const char *(*load)(HostInstance instance, const HostLoadState *state);
  const char *(*save)(HostInstance instance, const HostSaveState *state);
  const char *(*describe)(HostInstance instance); /* left as the host set it */
} HostInstanceFuncs;

typedef struct HostItemFuncs {
  /* Returns a list of item IDs ended by a null ID. */
  const HostItemID *(*useItems)(HostInstance instance);
  /* Receives (old, new) ID pairs ended by a null old ID. */
  void (*changeID)(HostInstance instance, const HostItemID *pairs);
} HostItemFuncs;

/* Progress of a long job; step returns 1 when the user asked to stop. */
typedef struct HostMonitor {
  void *data;
  void (*init)(void *data, unsigned int total);
  int (*step)(void *data, unsigned int increment);
  void (*done)(void *data);
} HostMonitor;

/* Buffer types that getLine serves. */
enum {
  HOST_BUFFER_DEPTH = 12,
  HOST_BUFFER_RED = 32,
  HOST_BUFFER_GREEN = 33,
  HOST_BUFFER_BLUE = 34,
  HOST_BUFFER_ALPHA = 35
};

/* Flag bit asking the host to supply the depth buffer. */
enum { HOST_FILTER_WANTS_DEPTH = 1 << 12 };

typedef struct HostFilterAccess {
  int width;
  int height;
  int frame;
  double start;
  double end;
  float *(*getLine)(int type, int y);
  void (*setRGB)(int x, int y, const float rgb[3]);
  void (*setAlpha)(int x, int y, float alpha);
  HostMonitor *monitor;
} HostFilterAccess;

typedef struct HostFilterHandler {
  HostInstanceFuncs *instance;
  HostItemFuncs *item; /* may be null: the host then has no item callbacks */
  void (*process)(HostInstance instance, const HostFilterAccess *access);
  unsigned int (*flags)(HostInstance instance);
} HostFilterHandler;

#ifdef __cplusplus
}
#endif

#endif
