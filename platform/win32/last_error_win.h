// The error code of the Win32 call that just failed, as a Result.
#ifndef PLATFORM_WIN32_LAST_ERROR_WIN_H_
#define PLATFORM_WIN32_LAST_ERROR_WIN_H_

#include <windows.h>

#include "platform/result.h"

namespace platform::win32 {

// GetLastError() after a call that failed; never kSuccess: a failure that left no error code
// reads as kErrorInvalidParameter, so that it is never taken for success.
[[nodiscard]] inline Result LastError() {
  const DWORD e = GetLastError();
  return e != ERROR_SUCCESS ? static_cast<Result>(e) : kErrorInvalidParameter;
}

}  // namespace platform::win32

#endif  // PLATFORM_WIN32_LAST_ERROR_WIN_H_
