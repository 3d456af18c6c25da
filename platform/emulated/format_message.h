// The formatting engine of FormatMessageW: a message template with its escapes and inserts, an
// argument array, and the output-width and buffer rules.
#ifndef PLATFORM_EMULATED_FORMAT_MESSAGE_H_
#define PLATFORM_EMULATED_FORMAT_MESSAGE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace platform::emulated {

// Formats `pattern` (up to its first NUL) as FormatMessageW does with an argument array.
// Uses kFormatMessageIgnoreInserts and the width in kFormatMessageMaxWidthMask of `flags`:
//  - each literal line break of the template (CR LF, lone CR, lone LF) becomes CR LF at width 0
//    and one space at any other width; widths below 255 also wrap the output at the last space
//    before the width. %n (CR LF) and %r (CR) are hard breaks and stay as they are.
//  - %1..%99 insert args[n-1] (at most two digits are read), with an optional printf form
//    "!fmt!" (default "s"); s-forms take a pointer to a NUL-terminated UTF-16 string (S and hs a
//    narrow code page 1252 string; a null pointer prints "(null)"), numeric forms the integer.
//    Inserted text is never scanned again.
//  - %0 ends the output, %t is a tab, any other escaped character stands for itself.
// Errors (kErrorInvalidParameter): a lone '%' at the end, an unterminated or unknown "!fmt",
// an insert number beyond `arg_count`.
[[nodiscard]] Result FormatMessageTemplate(std::u16string_view pattern, uint32_t flags,
                                           const uintptr_t* args, size_t arg_count,
                                           std::u16string* out);

// The nSize rule: the text and its terminating NUL must fit `size` characters
// (kErrorInsufficientBuffer otherwise), unless kFormatMessageAllocateBuffer makes `size` a
// minimum.
[[nodiscard]] Result CheckFormatBufferSize(uint32_t flags, size_t size, size_t length);

}  // namespace platform::emulated

#endif  // PLATFORM_EMULATED_FORMAT_MESSAGE_H_
