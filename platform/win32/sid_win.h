// Checks a caller's SID bytes before a Win32 function reads them: the API trusts the SID's own
// sub-authority count and would read past a short buffer.
#ifndef PLATFORM_WIN32_SID_WIN_H_
#define PLATFORM_WIN32_SID_WIN_H_

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace platform::win32 {

// The SID at `sid` when its `size` bytes hold a whole, valid one; else null.
inline PSID CheckedSid(const uint8_t* sid, size_t size) {
  // revision, sub-authority count, 6-byte authority, then 4 bytes per sub-authority
  if (sid == nullptr || size < 8 || size < 8 + 4 * static_cast<size_t>(sid[1])) return nullptr;
  PSID p = const_cast<uint8_t*>(sid);
  return IsValidSid(p) ? p : nullptr;
}

}  // namespace platform::win32

#endif  // PLATFORM_WIN32_SID_WIN_H_
