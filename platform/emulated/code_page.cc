#include "platform/emulated/code_page.h"

#include <iconv.h>

#include <cerrno>

namespace platform::emulated {
namespace {

// Converts `in` with an open iconv descriptor; false on any error or incomplete input.
bool ConvertOnce(iconv_t cd, const char* in, size_t in_size, char* out, size_t* out_size) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* src = const_cast<char*>(in);
  char* dst = out;
  size_t in_left = in_size;
  size_t out_left = *out_size;
  if (iconv(cd, &src, &in_left, &dst, &out_left) == static_cast<size_t>(-1)) return false;
  if (in_left != 0) return false;
  *out_size = *out_size - out_left;
  return true;
}

}  // namespace

std::unique_ptr<EmulatedCodePage> EmulatedCodePage::Create(uint32_t code_page) {
  const std::string name = "CP" + std::to_string(code_page);
  iconv_t to = iconv_open(name.c_str(), "UTF-16LE");
  iconv_t from = iconv_open("UTF-16LE", name.c_str());
  if (to == reinterpret_cast<iconv_t>(-1) || from == reinterpret_cast<iconv_t>(-1)) {
    if (to != reinterpret_cast<iconv_t>(-1)) iconv_close(to);
    if (from != reinterpret_cast<iconv_t>(-1)) iconv_close(from);
    return nullptr;
  }
  std::unique_ptr<EmulatedCodePage> cp(new EmulatedCodePage(code_page));
  cp->encoder_ = to;
  cp->to_ansi_ = std::make_unique<std::atomic<uint32_t>[]>(65536);
  for (uint32_t u = 0; u < 65536; ++u) cp->to_ansi_[u].store(kUnknown, std::memory_order_relaxed);
  for (uint32_t u = 0; u < 0x80; ++u) cp->to_ansi_[u].store(1u << 16 | u);

  std::array<bool, 256> undecoded{};
  for (uint32_t b = 1; b < 256; ++b) {
    char in[1] = {static_cast<char>(b)};
    char out[8];
    size_t out_size = sizeof out;
    if (ConvertOnce(from, in, 1, out, &out_size) && out_size == 2) {
      cp->single_to_wide_[b] =
          static_cast<char16_t>(static_cast<uint8_t>(out[0]) | (static_cast<uint8_t>(out[1]) << 8));
    } else {
      undecoded[b] = true;
    }
  }
  // Windows maps the bytes that code page 1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D)
  // to the C1 controls of the same value and back; iconv knows no mapping for them.
  for (uint32_t b = 0x80; b < 0xA0; ++b) {
    if (!cp->single_to_wide_[b] && code_page == 1252) {
      cp->single_to_wide_[b] = static_cast<char16_t>(b);
      cp->to_ansi_[b].store(1u << 16 | b);
      undecoded[b] = false;
    }
  }
  // Lead bytes: bytes without a single-byte meaning that start valid two-byte codes.
  for (uint32_t lead = 0x80; lead < 256; ++lead) {
    if (!undecoded[lead]) continue;
    for (uint32_t trail = 0x40; trail < 256; ++trail) {
      char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
      char out[8];
      size_t out_size = sizeof out;
      if (ConvertOnce(from, in, 2, out, &out_size) && out_size == 2) {
        if (cp->double_to_wide_.empty()) cp->double_to_wide_.assign(65536, 0);
        cp->double_to_wide_[lead << 8 | trail] = static_cast<char16_t>(
            static_cast<uint8_t>(out[0]) | (static_cast<uint8_t>(out[1]) << 8));
        cp->is_lead_[lead] = true;
      }
    }
  }
  iconv_close(from);
  return cp;
}

EmulatedCodePage::~EmulatedCodePage() {
  if (encoder_) iconv_close(static_cast<iconv_t>(encoder_));
}

uint32_t EmulatedCodePage::Encode(char16_t c) {
  uint32_t v = to_ansi_[c].load(std::memory_order_acquire);
  if (v != kUnknown) return v;
  v = kNoMapping;
  if (c < 0xD800 || c > 0xDFFF) {
    std::lock_guard<std::mutex> lock(encoder_mutex_);
    char in[2] = {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    char out[8];
    size_t out_size = sizeof out;
    if (ConvertOnce(static_cast<iconv_t>(encoder_), in, 2, out, &out_size)) {
      if (out_size == 1) {
        v = 1u << 16 | static_cast<uint8_t>(out[0]);
      } else if (out_size == 2) {
        v = 2u << 16 | static_cast<uint8_t>(out[0]) |
            static_cast<uint32_t>(static_cast<uint8_t>(out[1])) << 8;
      }
    }
  }
  to_ansi_[c].store(v, std::memory_order_release);
  return v;
}

std::string EmulatedCodePage::WideToAnsi(std::u16string_view text) {
  // Every code page here keeps ASCII as it is: the leading run of it is copied directly.
  size_t i = 0;
  while (i < text.size() && text[i] < 0x80) ++i;
  std::string out(text.begin(), text.begin() + i);
  if (i == text.size()) return out;
  out.reserve(text.size() + text.size() / 4);
  for (; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == 0) {
      out.push_back('\0');
      continue;
    }
    const uint32_t m = Encode(c);
    const uint32_t count = m >> 16;
    if (count == 0) {
      // A surrogate pair is one character that no ANSI code page holds: one '?'.
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
          text[i + 1] <= 0xDFFF) {
        ++i;
      }
      out.push_back('?');
    } else {
      out.push_back(static_cast<char>(m & 0xFF));
      if (count == 2) out.push_back(static_cast<char>((m >> 8) & 0xFF));
    }
  }
  return out;
}

std::u16string EmulatedCodePage::AnsiToWide(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const uint8_t b = static_cast<uint8_t>(text[i]);
    if (b == 0) {
      out.push_back(u'\0');
    } else if (is_lead_[b] && i + 1 < text.size()) {
      const char16_t w = double_to_wide_[b << 8 | static_cast<uint8_t>(text[i + 1])];
      out.push_back(w ? w : u'\u30FB');
      ++i;
    } else if (single_to_wide_[b]) {
      out.push_back(single_to_wide_[b]);
    } else {
      out.push_back(b < 0x80 ? static_cast<char16_t>(b) : u'?');
    }
  }
  return out;
}

}  // namespace platform::emulated
