// qelsrc: a live GStreamer source of one camera's frames, over the library's
// public functions. See qel_src.cpp for the element's behaviour.
#pragma once

#include <gst/base/gstpushsrc.h>

G_BEGIN_DECLS

#define GST_TYPE_QEL_SRC (gst_qel_src_get_type())
G_DECLARE_FINAL_TYPE(GstQelSrc, gst_qel_src, GST, QEL_SRC, GstPushSrc)

G_END_DECLS
