#include "platform/win32/media_type_convert.h"

#include <cstring>

namespace qel::platform::win32 {

Guid FromGuid(const GUID& guid) {
  Guid out;
  out.data1 = guid.Data1;
  out.data2 = guid.Data2;
  out.data3 = guid.Data3;
  std::memcpy(out.data4.data(), guid.Data4, sizeof guid.Data4);
  return out;
}

GUID ToGuid(const Guid& guid) {
  GUID out;
  out.Data1 = guid.data1;
  out.Data2 = guid.data2;
  out.Data3 = guid.data3;
  std::memcpy(out.Data4, guid.data4.data(), sizeof out.Data4);
  return out;
}

MediaType FromAmMediaType(const AM_MEDIA_TYPE& type) {
  MediaType out;
  out.majortype = FromGuid(type.majortype);
  out.subtype = FromGuid(type.subtype);
  out.fixedSizeSamples = type.bFixedSizeSamples != FALSE;
  out.temporalCompression = type.bTemporalCompression != FALSE;
  out.sampleSize = type.lSampleSize;
  out.formattype = FromGuid(type.formattype);
  if (type.pbFormat != nullptr && type.cbFormat > 0) {
    out.format.assign(type.pbFormat, type.pbFormat + type.cbFormat);
  }
  return out;
}

BorrowedAmMediaType::BorrowedAmMediaType(const MediaType& type) : type_{} {
  type_.majortype = ToGuid(type.majortype);
  type_.subtype = ToGuid(type.subtype);
  type_.bFixedSizeSamples = type.fixedSizeSamples ? TRUE : FALSE;
  type_.bTemporalCompression = type.temporalCompression ? TRUE : FALSE;
  type_.lSampleSize = type.sampleSize;
  type_.formattype = ToGuid(type.formattype);
  type_.pUnk = nullptr;
  type_.cbFormat = static_cast<ULONG>(type.format.size());
  // The callee only reads the block (and copies it); the cast is for the
  // structure's field type.
  type_.pbFormat = type.format.empty() ? nullptr : const_cast<BYTE*>(type.format.data());
}

void FreeMediaType(AM_MEDIA_TYPE& type) {
  // The block is freed whenever there is one, also when cbFormat says 0, so
  // that a type filled inconsistently by a filter leaks nothing.
  if (type.pbFormat != nullptr) CoTaskMemFree(type.pbFormat);
  type.pbFormat = nullptr;
  type.cbFormat = 0;
  if (type.pUnk != nullptr) {
    type.pUnk->Release();
    type.pUnk = nullptr;
  }
}

void DeleteMediaType(AM_MEDIA_TYPE* type) {
  if (type == nullptr) return;
  FreeMediaType(*type);
  CoTaskMemFree(type);
}

}  // namespace qel::platform::win32
