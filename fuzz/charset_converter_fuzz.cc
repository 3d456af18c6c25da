// Random UTF-16 text through CharsetConverter in both Japanese encodings: the output stays
// within the buffer, ends with its terminator, is well formed in its encoding, and Convert agrees
// with ConvertString.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "service/transport/charset_converter.h"

namespace {

class FuzzDebugOutput : public platform::DebugOutput {
 public:
  bool Enabled() override { return enabled; }
  void Write(std::u16string_view text) override { written += text.size(); }
  void WriteAnsi(std::string_view text) override { written += text.size(); }
  bool enabled = false;
  size_t written = 0;
};

void Check(bool condition) {
  if (!condition) std::abort();
}

// EUC-JP: ASCII, SS2 + halfwidth katakana, SS3 + two bytes, or two bytes A1-FE.
void CheckEucJp(const std::string& out) {
  auto high = [](unsigned char b) { return b >= 0xA1 && b <= 0xFE; };
  for (size_t i = 0; i < out.size();) {
    const unsigned char b = out[i];
    if (b < 0x80) {
      i += 1;
    } else if (b == 0x8E) {
      Check(i + 1 < out.size());
      const unsigned char k = out[i + 1];
      Check(k >= 0xA1 && k <= 0xDF);
      i += 2;
    } else if (b == 0x8F) {
      Check(i + 2 < out.size() && high(out[i + 1]) && high(out[i + 2]));
      i += 3;
    } else {
      Check(high(b) && i + 1 < out.size() && high(out[i + 1]));
      i += 2;
    }
  }
}

// ISO-2022-JP: 7-bit, known escape sequences only (unless the text itself held ESC), double-byte
// runs of even length, and the text ends in ASCII.
void CheckIso2022Jp(const std::string& out, bool text_has_escape) {
  for (unsigned char b : out) Check(b < 0x80);
  if (text_has_escape) return;
  std::string state = "\x1B(B";
  size_t run = 0;
  for (size_t i = 0; i < out.size();) {
    if (out[i] == 0x1B) {
      Check(i + 2 < out.size());
      const std::string seq = out.substr(i, 3);
      Check(seq == "\x1B(B" || seq == "\x1B(J" || seq == "\x1B$B");
      Check(seq != state);  // no redundant escape sequences
      Check(state != "\x1B$B" || run % 2 == 0);
      state = seq;
      run = 0;
      i += 3;
    } else {
      if (state == "\x1B$B") Check(out[i] >= 0x21 && out[i] <= 0x7E);
      ++run;
      ++i;
    }
  }
  Check(state == "\x1B(B");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // First byte: bit 0 debugger listens, the rest a small buffer size to test the bound.
  FuzzDebugOutput debug;
  debug.enabled = data[0] & 1;
  const size_t small_size = data[0] >> 1;
  std::u16string text;
  for (size_t i = 1; i + 1 < size; i += 2) {
    text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
  }
  const bool has_escape = text.find(u'\x1B') != std::u16string::npos;

  sentrel::CharsetConverter converter(debug);
  for (int encoding : {sentrel::kEncodingIso2022Jp, sentrel::kEncodingEucJp}) {
    std::vector<char> buffer(sentrel::kConvertedTextBufferSize);
    const size_t n = converter.ConvertString(text, buffer, encoding);
    Check(n < buffer.size() && buffer[n] == '\0');
    const std::string out(buffer.data(), n);
    Check(converter.Convert(text, encoding) == out);
    Check(converter.shift_state() == sentrel::kStateAscii);
    if (encoding == sentrel::kEncodingEucJp) {
      CheckEucJp(out);
    } else {
      CheckIso2022Jp(out, has_escape);
    }

    // An exactly sized small heap buffer: any write past it is caught by the address sanitizer.
    std::vector<char> small(small_size);
    const size_t m = converter.ConvertString(text, small, encoding);
    if (small_size > 0) {
      Check(m < small_size && small[m] == '\0');
      const std::string prefix(small.data(), m);
      if (encoding == sentrel::kEncodingEucJp) {
        Check(out.compare(0, m, prefix) == 0);
      } else {
        CheckIso2022Jp(prefix, has_escape);
      }
    }
  }
  Check(converter.Convert(text, 1).empty());
  return 0;
}
