/* Opaque handles the host gives out. The module never looks inside them;
 * a null handle means "none". */
#ifndef LENSFALL_HOSTAPI_IDS_H
#define LENSFALL_HOSTAPI_IDS_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct HostItem *HostItemID;           /* objects, cameras */
typedef struct HostImage *HostImageID;         /* entries of the image list */
typedef struct HostPixmap *HostPixmapID;       /* pixel data of an image */
typedef struct HostVParm *HostVParmID;         /* variant parameters */
typedef struct HostChanGroup *HostChanGroupID; /* envelope channel groups */
typedef struct HostForm *HostFormID;           /* forms of the form service */
typedef struct HostWindow *HostWindowID;     /* windows of the window service */
typedef struct HostDrawArea *HostDrawAreaID; /* a drawn control's pixels */

#ifdef __cplusplus
}
#endif

#endif
