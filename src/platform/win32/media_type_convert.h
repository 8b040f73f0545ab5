// Conversion between the library's MediaType and the capture framework's
// AM_MEDIA_TYPE, and the framework's media-type helpers, written here since
// the toolchain ships no base-class library.
#pragma once

#include <windows.h>
#include <dshow.h>

#include "platform/guid.h"
#include "platform/media_type.h"

namespace qel::platform::win32 {

static_assert(sizeof(GUID) == sizeof(Guid));

Guid FromGuid(const GUID& guid);
GUID ToGuid(const Guid& guid);

// Copies every field and the format block as bytes. The media type's object
// reference (pUnk) has no counterpart and is not carried.
MediaType FromAmMediaType(const AM_MEDIA_TYPE& type);

// An AM_MEDIA_TYPE that lends the format block of a MediaType, for calls that
// copy the type they are given (SetFormat, SetMediaType). Valid while the
// MediaType lives unchanged.
class BorrowedAmMediaType {
 public:
  explicit BorrowedAmMediaType(const MediaType& type);
  BorrowedAmMediaType(const BorrowedAmMediaType&) = delete;
  BorrowedAmMediaType& operator=(const BorrowedAmMediaType&) = delete;
  AM_MEDIA_TYPE* get() { return &type_; }

 private:
  AM_MEDIA_TYPE type_;
};

// Frees the format block and the object reference of a media type, leaving
// the type itself (FreeMediaType of the framework's base classes).
void FreeMediaType(AM_MEDIA_TYPE& type);
// FreeMediaType, then the task memory of the type itself (DeleteMediaType).
void DeleteMediaType(AM_MEDIA_TYPE* type);

}  // namespace qel::platform::win32
