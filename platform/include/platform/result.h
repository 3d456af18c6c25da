// Result codes of platform operations. They are the Windows system error codes, because the
// programs' behaviour depends on which code an operation returns (a seek to a missing record, the
// end of a log, a buffer that is too small, ...).
#ifndef PLATFORM_RESULT_H_
#define PLATFORM_RESULT_H_

#include <cstdint>

namespace platform {

using Result = uint32_t;

inline constexpr Result kSuccess = 0;
inline constexpr Result kErrorFileNotFound = 2;
inline constexpr Result kErrorPathNotFound = 3;
inline constexpr Result kErrorAccessDenied = 5;
inline constexpr Result kErrorInvalidHandle = 6;
inline constexpr Result kErrorNotEnoughMemory = 8;
inline constexpr Result kErrorInvalidData = 13;
inline constexpr Result kErrorHandleEof = 38;
inline constexpr Result kErrorBadNetpath = 53;
inline constexpr Result kErrorInvalidParameter = 87;
inline constexpr Result kErrorInsufficientBuffer = 122;
inline constexpr Result kErrorModNotFound = 126;
inline constexpr Result kErrorAlreadyExists = 183;
inline constexpr Result kErrorBadExeFormat = 193;
inline constexpr Result kErrorMoreData = 234;
inline constexpr Result kErrorWaitTimeout = 258;
inline constexpr Result kErrorNoMoreItems = 259;
inline constexpr Result kErrorMrMidNotFound = 317;
inline constexpr Result kErrorKeyDeleted = 1018;
inline constexpr Result kErrorBadFormat = 11;
inline constexpr Result kErrorServiceAlreadyRunning = 1056;
inline constexpr Result kErrorServiceDoesNotExist = 1060;
inline constexpr Result kErrorServiceCannotAcceptCtrl = 1061;
inline constexpr Result kErrorServiceNotActive = 1062;
inline constexpr Result kErrorFailedServiceControllerConnect = 1063;
inline constexpr Result kErrorServiceExists = 1073;
inline constexpr Result kErrorServiceMarkedForDelete = 1072;
inline constexpr Result kErrorNoneMapped = 1332;
inline constexpr Result kErrorResourceDataNotFound = 1812;
inline constexpr Result kErrorResourceTypeNotFound = 1813;
inline constexpr Result kErrorResourceNameNotFound = 1814;
inline constexpr Result kErrorResourceLangNotFound = 1815;
inline constexpr Result kErrorEventlogFileCorrupt = 1500;
inline constexpr Result kErrorLogFileFull = 1502;

}  // namespace platform

#endif  // PLATFORM_RESULT_H_
