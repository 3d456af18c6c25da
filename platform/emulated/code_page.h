// The ANSI code page of an emulated computer (1252 by default, 932 for a Japanese computer),
// with lookup tables from glibc iconv: the decoding side built when the computer is opened, the
// encoding side filled character by character on first use.
#ifndef PLATFORM_EMULATED_CODE_PAGE_H_
#define PLATFORM_EMULATED_CODE_PAGE_H_

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/code_page.h"

namespace platform::emulated {

class EmulatedCodePage : public CodePage {
 public:
  // Fails (null) when iconv does not know "CP<code_page>".
  static std::unique_ptr<EmulatedCodePage> Create(uint32_t code_page);
  ~EmulatedCodePage() override;

  uint32_t AnsiCodePage() override { return code_page_; }
  std::string WideToAnsi(std::u16string_view text) override;
  std::u16string AnsiToWide(std::string_view text) override;

 private:
  explicit EmulatedCodePage(uint32_t code_page) : code_page_(code_page) {}

  // The bytes of one UTF-16 code unit: kNoMapping, or the byte count in bits 16-17 and the bytes
  // (first in bits 0-7, second in bits 8-15). Entries start as kUnknown and are filled from
  // iconv on first use, so opening a computer costs no table of 65536 conversions.
  uint32_t Encode(char16_t c);

  static constexpr uint32_t kUnknown = 0xFFFFFFFF;
  static constexpr uint32_t kNoMapping = 0;

  uint32_t code_page_;
  std::unique_ptr<std::atomic<uint32_t>[]> to_ansi_;  // 65536 entries
  std::mutex encoder_mutex_;
  void* encoder_ = nullptr;  // iconv_t, used under encoder_mutex_
  std::array<char16_t, 256> single_to_wide_{};
  std::array<bool, 256> is_lead_{};
  std::vector<char16_t> double_to_wide_;  // 65536 entries, index lead<<8|trail; 0 = none
};

}  // namespace platform::emulated

#endif  // PLATFORM_EMULATED_CODE_PAGE_H_
