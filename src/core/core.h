// The core's bottom layer: the state every subsystem shares, and the rules
// that hold across the whole library. Start reading here.
//
// Layers (src/layering.txt is the checked list of allowed includes):
//
//   api/        QelOpen, QelOpenSerialNo, QelOpenEx, QelOpenSerialNoEx,
//     |         QelClose, QelDLLVersion, QelLibraryVersion, QelLastError,
//     |         QelLastErrorCode, and the guard around every export
//   discovery/  capture/  hid/  controls/  firmware/     the subsystems; each
//     |         defines the exports of its own family and reaches another
//     |         subsystem only through that one's narrow header
//   core/       camera table and slot, camera models and frame sizes, the
//     |         listing buffer size, COM for a call and for a capture period,
//     |         the plug-and-play device walk
//   platform/platform.h   the seam
//     |
//   platform/virtual/  platform/win32/   the backends
//
// Ownership: a CameraSlot shares its command channel and data block with
// every export that looked the camera up (shared_ptr), so a close on another
// thread never frees them under a running call. A capture context owns its
// platform objects (unique_ptr); its frame store is shared with readers.
//
// Lock order. A lock may be taken while holding only locks above it in this
// list; a lock marked "leaf" is never held while taking another lock or
// making a platform call.
//
//   1. The open/close bookkeeping (api/lifecycle_locks.h): a key is held by
//      one open or close at a time (KeyLock, held across the whole open or
//      close: platform calls, HID exchanges, the build and its waits); a
//      table position by one open. Its mutex is held only for the
//      bookkeeping itself and may take the camera table's lock inside.
//      Opens and closes of different keys run side by side.
//   1a. CaptureState::periodMutex (capture/capture_context.h): the capture
//      period's counts and last used values; short updates only (the
//      period's COM initialisation is made under it).
//   1b. FrameStore's listener lock (capture/frame_store.h): held by the
//      streaming thread across a call of the application's frame callback,
//      which may call exports that take the locks below (receive, settings),
//      never lock 1: a close from inside the callback is refused before it
//      takes its key's lock, because the close on another thread that holds
//      that lock waits here for the callback. A teardown takes it outside
//      every lock of the capture context.
//   1c. HidChannel::DataBlockMutex (hid/hid_channel.h): one read-modify-
//      commit of a camera's data block, across its exchanges and the table
//      lock that swaps the committed block into the slot.
//   2. HidChannel's mutex (hid/hid_channel.h): one request-and-reply
//      exchange on one camera's channel.
//   3. CaptureContext::objectsMutex (capture/capture_context.h): the
//      context's platform objects during a property call or a teardown.
//      ReleaseCaptureObjects releases the graph under it, which joins the
//      streaming thread: safe only because that thread never takes it.
//   4. CaptureContext::framesMutex: the context's frame-store pointer; taken
//      under objectsMutex by a teardown, alone by frame delivery.
//   5. FrameStore's read lock, then its swap lock (capture/frame_store.h):
//      readers hold the read lock and take the swap lock briefly inside it.
//   6. RewriteRecord::lock (firmware/rewrite_record.h): the rewrite record's
//      short updates; never held with the camera table's lock.
//   7. CameraTable's mutex (core/camera_table.h): leaf.
//
// The streaming thread of a running graph enters the library only in the
// sample grabber callback, which takes FrameStore's swap lock and then, when
// the application set a frame callback, the listener lock around its call.
// Waiters (QelWaitImage) sleep on the store's condition variable under the
// swap lock. The rewrite thread takes a HidChannel's mutex (through exchanges) and
// the rewrite record's lock, never both at once.
#pragma once

#include "core/camera_model.h"
#include "core/camera_table.h"
#include "core/com_scope.h"
#include "core/device_walk.h"
#include "core/listing_size.h"
#include "core/video_property_index.h"
