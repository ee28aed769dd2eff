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
