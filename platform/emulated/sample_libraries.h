// Message libraries that a new emulated computer gets in its system directory, compiled from
// message compiler sources at setup, so the sample sources render as on Windows.
#ifndef PLATFORM_EMULATED_SAMPLE_LIBRARIES_H_
#define PLATFORM_EMULATED_SAMPLE_LIBRARIES_H_

#include <string>
#include <string_view>
#include <vector>

namespace platform::emulated {

struct SampleLibrary {
  std::u16string file;      // name in %SystemRoot%\system32
  std::string_view source;  // .mc text
};

const std::vector<SampleLibrary>& SampleLibraries();

}  // namespace platform::emulated

#endif  // PLATFORM_EMULATED_SAMPLE_LIBRARIES_H_
