// The plugin libgstqel: registers qelsrc.
#include <gst/gst.h>

#include "qel_src.h"

namespace {

gboolean PluginInit(GstPlugin* plugin) {
  return gst_element_register(plugin, "qelsrc", GST_RANK_NONE, GST_TYPE_QEL_SRC);
}

}  // namespace

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, qel, "Frames of QEL USB industrial cameras",
                  PluginInit, QEL_GST_VERSION, "Proprietary", PACKAGE,
                  "https://github.com/qel-camera/qel")
