// The ANSI code page of an emulated computer (1252 by default, 932 for a Japanese computer),
// built once into lookup tables from glibc iconv so that conversions need no locks.
#ifndef PLATFORM_EMULATED_CODE_PAGE_H_
#define PLATFORM_EMULATED_CODE_PAGE_H_

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/code_page.h"

namespace platform::emulated {

class EmulatedCodePage : public CodePage {
 public:
  // Fails (null) when iconv does not know "CP<code_page>".
  static std::unique_ptr<EmulatedCodePage> Create(uint32_t code_page);

  uint32_t AnsiCodePage() override { return code_page_; }
  std::string WideToAnsi(std::u16string_view text) override;
  std::u16string AnsiToWide(std::string_view text) override;

 private:
  explicit EmulatedCodePage(uint32_t code_page) : code_page_(code_page) {}

  uint32_t code_page_;
  // For each UTF-16 code unit: 0 = no mapping, else the byte(s): low byte first, 0x100 flag set
  // when two bytes (lead in bits 0-7, trail in bits 8-15 of `double_byte_`).
  std::vector<uint16_t> to_ansi_;          // 65536 entries; 0 means none (except for U+0000)
  std::vector<uint8_t> to_ansi_is_double_;  // 65536 flags
  std::array<char16_t, 256> single_to_wide_{};
  std::array<bool, 256> is_lead_{};
  std::vector<char16_t> double_to_wide_;  // 65536 entries, index lead<<8|trail; 0 = none
};

}  // namespace platform::emulated

#endif  // PLATFORM_EMULATED_CODE_PAGE_H_
