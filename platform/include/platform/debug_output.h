// The debugger output channel (OutputDebugStringW / OutputDebugStringA). Trace lines written here
// never change behaviour and are not seen by users unless a debugger or viewer listens.
//
// Blocking: only as long as writing one line takes. Threads: any thread; lines written from
// several threads do not mix.
#ifndef PLATFORM_DEBUG_OUTPUT_H_
#define PLATFORM_DEBUG_OUTPUT_H_

#include <string_view>

namespace platform {

class DebugOutput {
 public:
  virtual ~DebugOutput() = default;

  // Whether anybody listens; callers may skip building costly trace text when not.
  virtual bool Enabled() = 0;
  virtual void Write(std::u16string_view text) = 0;
  virtual void WriteAnsi(std::string_view text) = 0;
};

}  // namespace platform

#endif  // PLATFORM_DEBUG_OUTPUT_H_
