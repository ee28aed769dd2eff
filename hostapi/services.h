/* Global services a host offers by name. Each record is a table of
 * operations; the number in each comment is the operation's position in its
 * table, counted from 0. Slots the module never calls are reserved. */
#ifndef LENSFALL_HOSTAPI_SERVICES_H
#define LENSFALL_HOSTAPI_SERVICES_H

#include "hostapi/ids.h"
#include "hostapi/io_state.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef void HostReservedFunc(void);

/* Service names. */
#define HOST_VPARM_SERVICE "LWVParmFuncs 2"
#define HOST_ENVELOPE_SERVICE "Animation Envelopes"
#define HOST_ITEM_INFO_SERVICE "LW Item Info 3"
#define HOST_IMAGE_LIST_SERVICE "LW Image List 3"
#define HOST_IMAGE_UTILITY_SERVICE "Image Utility"
#define HOST_CAMERA_INFO_SERVICE "LW Camera Info"
#define HOST_SCENE_INFO_SERVICE "LW Scene Info 2"
#define HOST_MESSAGE_SERVICE "Info Messages 2"
#define HOST_TIME_INFO_SERVICE "LW Time Info"
#define HOST_FORM_SERVICE "LWXPanel"
#define HOST_WINDOW_SERVICE "LWPanelServices"

/* Type codes of variant parameters. */
enum {
  HOST_VPARM_NUMBER = 0x10,
  HOST_VPARM_PERCENT = 0x20,
  HOST_VPARM_DISTANCE = 0x30,
  HOST_VPARM_ANGLE = 0x40
};

typedef struct HostVParmFuncs {
  HostVParmID (*create)(int type, int flags);             /* 0 */
  void (*destroy)(HostVParmID parm);                      /* 1 */
  int (*setup)(HostVParmID parm, const char *channelName, /* 2 */
               HostChanGroupID group, void *a, void *b, void *c, void *d);
  int (*copy)(HostVParmID to, HostVParmID from);                  /* 3 */
  const char *(*load)(HostVParmID parm, const HostLoadState *s);  /* 4 */
  const char *(*save)(HostVParmID parm, const HostSaveState *s);  /* 5 */
  int (*getValue)(HostVParmID parm, double time, void *micropoly, /* 6 */
                  double *result3);
  int (*setValue)(HostVParmID parm, const double *value3); /* 7 */
} HostVParmFuncs;

typedef struct HostEnvelopeFuncs {
  HostReservedFunc *reserved0;
  HostReservedFunc *reserved1;
  HostChanGroupID (*createGroup)(HostChanGroupID parent,
                                 const char *name); /* 2 */
} HostEnvelopeFuncs;

/* Item types for firstItem. */
enum { HOST_ITEM_OBJECT = 0, HOST_ITEM_CAMERA = 2 };

/* Parameter codes for itemParam. */
enum { HOST_ITEM_PARAM_WORLD_POSITION = 8 };

typedef struct HostItemInfo {
  HostItemID (*firstItem)(int type, HostItemID parent); /* 0 */
  HostItemID (*nextItem)(HostItemID item);              /* 1 */
  HostReservedFunc *reserved2;
  HostReservedFunc *reserved3;
  HostReservedFunc *reserved4;
  HostReservedFunc *reserved5;
  HostReservedFunc *reserved6;
  HostReservedFunc *reserved7;
  const char *(*name)(HostItemID item);                      /* 8 */
  void (*param)(HostItemID item, int paramType, double time, /* 9 */
                double *vector3);
} HostItemInfo;

typedef struct HostImageList {
  HostImageID (*first)(void);             /* 0 */
  HostImageID (*next)(HostImageID image); /* 1 */
  HostReservedFunc *reserved2;
  const char *(*name)(HostImageID image); /* 3 */
  HostReservedFunc *reserved4;
  HostReservedFunc *reserved5;
  HostReservedFunc *reserved6;
  HostReservedFunc *reserved7;
  HostReservedFunc *reserved8;
  HostReservedFunc *reserved9;
  HostReservedFunc *reserved10;
  HostReservedFunc *reserved11;
  HostReservedFunc *reserved12;
  HostImageID (*sceneLoad)(const HostLoadState *state);             /* 13 */
  void (*sceneSave)(const HostSaveState *state, HostImageID image); /* 14 */
  HostReservedFunc *reserved15;
  HostReservedFunc *reserved16;
  HostReservedFunc *reserved17;
  /* The image's pixels at a time; the host keeps ownership. */
  HostPixmapID (*evaluate)(HostImageID image, double time); /* 18 */
} HostImageList;

/* Pixel types that the image utility's info reports. */
enum {
  HOST_PIXEL_RGB24 = 0, /* 8-bit R, G, B */
  HOST_PIXEL_GREY8 = 1, /* 8-bit grey */
  HOST_PIXEL_RGBA32 = 5 /* 8-bit R, G, B, A: read as R, G, B bytes */
};

/* Resampling modes. */
enum { HOST_RESAMPLE_DEFAULT = 0 };

typedef struct HostImageUtility {
  HostReservedFunc *reserved0;
  /* Releases a pixmap made by resample. */
  void (*destroy)(HostPixmapID pixmap); /* 1 */
  HostReservedFunc *reserved2;
  HostReservedFunc *reserved3;
  /* Writes the pixel's bytes (up to 4) into buffer. */
  void (*getPixel)(HostPixmapID pixmap, int x, int y, void *buffer); /* 4 */
  /* Returns the pixel type; width and height through the out-parameters. */
  int (*info)(HostPixmapID pixmap, int *width, int *height); /* 5 */
  /* A new pixmap of the given size, owned by the caller. */
  HostPixmapID (*resample)(HostPixmapID pixmap, int width, int height, /* 6 */
                           int mode);
} HostImageUtility;

typedef struct HostCameraInfo {
  HostReservedFunc *reserved0;
  double (*focalLength)(HostItemID camera, double time);   /* 1: mm */
  double (*focalDistance)(HostItemID camera, double time); /* 2 */
  HostReservedFunc *reserved3;
  HostReservedFunc *reserved4;
  void (*fovAngles)(HostItemID camera, double time, /* 5: rad */
                    double *horizontal, double *vertical);
} HostCameraInfo;

/* A data record: the host keeps its fields current. */
typedef struct HostSceneInfo {
  const char *name;
  const char *filename;
  int frameStart;
  int frameEnd;
  double framesPerSecond;
  int frameWidth;
  int frameHeight;
  double pixelAspect;
  HostItemID (*renderCamera)(double time);
} HostSceneInfo;

typedef struct HostMessageFuncs {
  void (*info)(const char *line1, const char *line2);
  void (*error)(const char *line1, const char *line2);
  void (*warning)(const char *line1, const char *line2);
} HostMessageFuncs;

typedef struct HostTimeInfo {
  double time;
  int frame;
} HostTimeInfo;

#ifdef __cplusplus
}
#endif

#endif
