/* The form service ("LWXPanel") and the window service ("LWPanelServices")
 * that a module uses to show its settings. Numbers in comments are each
 * operation's position in its table, counted from 0. */
#ifndef LENSFALL_HOSTAPI_PANEL_H
#define LENSFALL_HOSTAPI_PANEL_H

#include <stdint.h>

#include "hostapi/ids.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef void HostPanelReservedFunc(void);

/* One word of a hint array: a tag, an integer, a text or a function. */
typedef intptr_t HostHintWord;

/* Hint tags. The low byte counts the fixed arguments that follow the tag;
 * with bit 7 set a list of control ids ended by 0 follows them. A lone 0
 * ends a hint array. */
enum {
  HOST_HINT_DESTROY_NOTIFY = 0x3d001302,
  HOST_HINT_CHANGE_NOTIFY = 0x3d000f01,
  HOST_HINT_LABEL = 0x3d000b03,
  HOST_HINT_MIN = 0x3d014002,
  HOST_HINT_MAX = 0x3d014202,
  HOST_HINT_RANGE = 0x3d014304,
  HOST_HINT_CHOICE_NAMES = 0x3d014503,
  HOST_HINT_POPUP_CALLBACKS = 0x3d016203,
  HOST_HINT_DRAW_CALLBACK = 0x3d016502,
  HOST_HINT_THUMBNAIL_CONFIG = 0x3d017403,
  HOST_HINT_ENABLE = 0x3d01f984,
  HOST_HINT_GROUP = 0x3d01fe81,
  HOST_HINT_LEFT = 0x3d021280,
  HOST_HINT_NARROW = 0x3d021380,
  HOST_HINT_END = 0,
};

typedef struct HostFormControl {
  unsigned long id; /* a row of zeros ends the table */
  const char *label;
  const char *controlClass;
} HostFormControl;

typedef struct HostFormDataDesc {
  unsigned long id;
  const char *label;
  const char *dataType;
} HostFormDataDesc;

/* Value access keyed by control id; set returns the form's refresh code. */
typedef void *HostFormGetFunc(void *instance, unsigned long id);
typedef int HostFormSetFunc(void *instance, unsigned long id, void *value);

/* Callbacks a module hands the form through its hints. */
typedef void HostFormChangeFunc(HostFormID form, unsigned long controlId,
                                unsigned long valueId, int event);
typedef void HostFormDestroyFunc(void *form);
typedef int HostPopupCountFunc(void *data);
typedef const char *HostPopupNameFunc(void *data, int index);
typedef void HostDrawFunc(HostFormID form, unsigned long controlId,
                          HostDrawAreaID area, int width, int height);

typedef struct HostDrawFuncs {
  HostPanelReservedFunc *reserved0;
  void (*drawRGBPixel)(HostDrawAreaID area, int r, int g, int b, int x, /* 1 */
                       int y);
} HostDrawFuncs;

enum { HOST_FORM_KIND_VIEW = 1 };

typedef struct HostFormFuncs {
  long version;                                                    /* 0 */
  const HostDrawFuncs *drawFuncs;                                  /* 1 */
  HostFormID (*create)(int kind, const HostFormControl *controls); /* 2 */
  void (*destroy)(HostFormID form);                                /* 3 */
  void (*describe)(HostFormID form, const HostFormDataDesc *data,  /* 4 */
                   HostFormGetFunc *get, HostFormSetFunc *set);
  void (*hint)(HostFormID form, unsigned long id, /* 5 */
               const HostHintWord *hints);
  HostPanelReservedFunc *reserved6;
  void (*setData)(HostFormID form, unsigned long id, void *value); /* 7 */
  HostPanelReservedFunc *reserved8;
  HostPanelReservedFunc *reserved9;
  void (*viewInstance)(HostFormID form, void *instance); /* 10 */
  void (*viewRefresh)(HostFormID form);                  /* 11 */
} HostFormFuncs;

/* Description records for window controls. */
enum { HOST_DESC_INTEGER = 2, HOST_DESC_TEXT = 12, HOST_DESC_FORM = 20 };

typedef struct HostFormControlDesc {
  intptr_t type; /* HOST_DESC_FORM */
  intptr_t width;
  intptr_t height;
  HostFormID form;
} HostFormControlDesc;

typedef struct HostTextControlDesc {
  intptr_t type;            /* HOST_DESC_TEXT */
  const char *const *lines; /* ended by a null line */
} HostTextControlDesc;

typedef struct HostIntegerValue {
  intptr_t type; /* HOST_DESC_INTEGER */
  intptr_t value;
  intptr_t defaultValue;
} HostIntegerValue;

typedef struct HostControl HostControl;
struct HostControl {
  HostPanelReservedFunc *reserved0;
  HostPanelReservedFunc *reserved1;
  void (*set)(HostControl *control, int attribute, /* 2 */
              const HostIntegerValue *value);
};

/* Window attributes. */
enum { HOST_WINDOW_CLOSE_CALLBACK = 10, HOST_WINDOW_KEY_CALLBACK = 13 };

/* Control attributes. */
enum { HOST_CONTROL_X = 0 };

typedef void HostWindowCloseFunc(HostWindowID window, void *data);
typedef void HostWindowKeyFunc(HostWindowID window, void *data, int key);

typedef struct HostWindowFuncs {
  HostWindowID (*create)(const char *title, void *data); /* 0 */
  void (*destroy)(HostWindowID window);                  /* 1 */
  int (*open)(HostWindowID window, int flags);           /* 2 */
  HostPanelReservedFunc *reserved3;
  HostPanelReservedFunc *reserved4;
  void (*close)(HostWindowID window); /* 5 */
  HostPanelReservedFunc *reserved6;
  void (*set)(HostWindowID window, int attribute, void *value); /* 7 */
  HostControl *(*addControl)(HostWindowID window,               /* 8 */
                             const char *controlClass, const void *desc,
                             const char *label);
} HostWindowFuncs;

/* The local record of the "ImageFilterInterface" server. */
typedef struct HostInterfaceRecord {
  void *instance;
  void *panel;
  const char *(*options)(void *instance);
  const char *(*command)(void *instance, const char *command);
} HostInterfaceRecord;

#ifdef __cplusplus
}
#endif

#endif
