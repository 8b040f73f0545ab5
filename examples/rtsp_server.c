/* Serves a camera over RTSP at rtsp://<this machine>:PORT/camera, with
 * GStreamer's RTSP server library and the qelsrc element (package
 * gstreamer1.0-qel). The camera's MJPG frames go out as they are, in RTP, so
 * no encoder is needed; every client shares the one camera.
 *
 *   rtsp_server [PORT [QELSRC PROPERTIES]]
 *   rtsp_server 8554 "serial=0000ABCD shutter=500"
 *
 * and on any machine:
 *   gst-launch-1.0 rtspsrc location=rtsp://HOST:8554/camera ! rtpjpegdepay ! jpegdec
 *     ! autovideosink
 * or open the address in VLC or ffplay. Ctrl+C stops the server. With
 * QEL_PLATFORM=rig in the environment (or the property rig=true) it serves
 * a virtual camera. */
#include <glib-unix.h>
#include <gst/gst.h>
#include <gst/rtsp-server/rtsp-server.h>
#include <signal.h>
#include <stdio.h>

static gboolean Quit(gpointer loop) {
  g_main_loop_quit(loop);
  return G_SOURCE_REMOVE;
}

int main(int argc, char** argv) {
  gst_init(&argc, &argv);
  const char* port = argc > 1 ? argv[1] : "8554";
  const char* properties = argc > 2 ? argv[2] : "";

  /* The pipeline each session runs: the camera's first MJPG mode (a caps
   * filter such as image/jpeg,width=960,height=540 chooses another). */
  gchar* launch =
      g_strdup_printf("( qelsrc %s ! image/jpeg ! rtpjpegpay name=pay0 pt=26 )", properties);
  GstRTSPMediaFactory* factory = gst_rtsp_media_factory_new();
  gst_rtsp_media_factory_set_launch(factory, launch);
  gst_rtsp_media_factory_set_shared(factory, TRUE);

  GstRTSPServer* server = gst_rtsp_server_new();
  gst_rtsp_server_set_service(server, port);
  GstRTSPMountPoints* mounts = gst_rtsp_server_get_mount_points(server);
  gst_rtsp_mount_points_add_factory(mounts, "/camera", factory); /* takes the factory */
  g_object_unref(mounts);
  if (gst_rtsp_server_attach(server, NULL) == 0) {
    fprintf(stderr, "rtsp_server: cannot listen on port %s\n", port);
    return 1;
  }
  printf("serving rtsp://127.0.0.1:%s/camera from %s\n", port, launch);
  fflush(stdout);

  GMainLoop* loop = g_main_loop_new(NULL, FALSE);
  g_unix_signal_add(SIGINT, Quit, loop);
  g_unix_signal_add(SIGTERM, Quit, loop);
  g_main_loop_run(loop);
  g_main_loop_unref(loop);
  g_object_unref(server);
  g_free(launch);
  return 0;
}
