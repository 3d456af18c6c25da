#include "platform/emulated/sample_libraries.h"

namespace platform::emulated {
namespace {

constexpr std::string_view kNetEvent = R"mc(; Service control manager and event log service messages.
MessageId=6005
Severity=Warning
SymbolicName=EVENT_EventlogStarted
Language=English
The Event log service was started.
.
MessageId=6006
SymbolicName=EVENT_EventlogStopped
Language=English
The Event log service was stopped.
.
MessageId=7023
Severity=Error
SymbolicName=EVENT_SERVICE_EXIT_FAILED
Language=English
The %1 service terminated with the following error: %n%2
.
MessageId=7035
Severity=Informational
SymbolicName=EVENT_SERVICE_CONTROL_SUCCESS
Language=English
The %1 service was successfully sent a %2 control.
.
MessageId=7036
Severity=Informational
SymbolicName=EVENT_SERVICE_STATUS_SUCCESS
Language=English
The %1 service entered the %2 state.
.
)mc";

// System error texts, for parameter references such as %%1058.
constexpr std::string_view kKernel32 = R"mc(MessageId=2
Language=English
The system cannot find the file specified.
.
MessageId=5
Language=English
Access is denied.
.
MessageId=1058
Language=English
The service cannot be started, either because it is disabled or because it has no enabled devices associated with it.
.
MessageId=1068
Language=English
The dependency service or group failed to start.
.
)mc";

constexpr std::string_view kUserEnv = R"mc(MessageId=1517
Severity=Warning
SymbolicName=EVENT_PROFILE_UNLOAD_FORCED
Language=English
Windows saved user %1 registry while an application or service was still using the registry during log off.
.
)mc";

constexpr std::string_view kMsAudit = R"mc(MessageId=528
SymbolicName=SE_AUDITID_SUCCESSFUL_LOGON
Language=English
Successful Logon:%n%tUser Name:%t%1%n%tDomain:%t%t%2
.
MessageId=529
SymbolicName=SE_AUDITID_UNKNOWN_USER_OR_PWD
Language=English
Logon Failure:%n%tReason:%t%tUnknown user name or bad password%n%tUser Name:%t%1%n%tDomain:%t%t%2
.
)mc";

}  // namespace

const std::vector<SampleLibrary>& SampleLibraries() {
  static const std::vector<SampleLibrary> libraries = {
      {u"netevent.dll", kNetEvent},
      {u"kernel32.dll", kKernel32},
      {u"userenv.dll", kUserEnv},
      {u"msaudite.dll", kMsAudit},
  };
  return libraries;
}

}  // namespace platform::emulated
