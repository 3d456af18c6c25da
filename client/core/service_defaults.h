// What the service uses when a value is missing, for the values whose client default is an empty
// text: the window shows these as placeholder text, so a user sees what an empty box means.
// The service and the client share no code; a unit test keeps these in step with the service.
#ifndef CLIENT_CORE_SERVICE_DEFAULTS_H_
#define CLIENT_CORE_SERVICE_DEFAULTS_H_

namespace sentrel::client {

inline constexpr char16_t kServiceDefaultSmtpServer[] = u"127.0.0.1";
inline constexpr char16_t kServiceDefaultMailbox[] = u"sentrel@localhost";  // sender, recipient
inline constexpr char16_t kServiceDefaultReplacementName[] = u"!";

}  // namespace sentrel::client

#endif  // CLIENT_CORE_SERVICE_DEFAULTS_H_
