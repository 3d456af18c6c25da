#include "platform/emulated/format_message.h"

#include <cstdio>
#include <span>

#include "platform/emulated/pe_message_table.h"
#include "platform/message_library.h"
#include "platform/text.h"

namespace platform::emulated {
namespace {

constexpr int kMaxFieldWidth = 65535;

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

enum class ArgSize { kDefault, kShort, kLong, kWide64 };

// A printf form of one insert, "!fmt!" without its '!'s.
struct InsertForm {
  bool left = false;
  bool zero = false;
  bool plus = false;
  bool space = false;
  bool alternate = false;
  int width = -1;
  int precision = -1;
  ArgSize size = ArgSize::kDefault;
  char conversion = 's';
};

bool ReadNumber(std::u16string_view spec, size_t* i, int* value) {
  int n = 0;
  while (*i < spec.size() && IsDigit(spec[*i])) {
    n = n * 10 + (spec[*i] - u'0');
    if (n > kMaxFieldWidth) return false;
    ++*i;
  }
  *value = n;
  return true;
}

bool ParseInsertForm(std::u16string_view spec, InsertForm* form) {
  size_t i = 0;
  for (; i < spec.size(); ++i) {
    const char16_t c = spec[i];
    if (c == u'-') {
      form->left = true;
    } else if (c == u'0') {
      form->zero = true;
    } else if (c == u'+') {
      form->plus = true;
    } else if (c == u' ') {
      form->space = true;
    } else if (c == u'#') {
      form->alternate = true;
    } else {
      break;
    }
  }
  if (i < spec.size() && IsDigit(spec[i]) && !ReadNumber(spec, &i, &form->width)) return false;
  if (i < spec.size() && spec[i] == u'.') {
    ++i;
    if (!ReadNumber(spec, &i, &form->precision)) return false;
  }
  const std::u16string_view rest = spec.substr(i);
  std::u16string_view conv = rest;
  if (rest.starts_with(u"I64") || rest.starts_with(u"ll")) {
    form->size = ArgSize::kWide64;
    conv = rest.substr(rest[0] == u'I' ? 3 : 2);
  } else if (rest.starts_with(u"I32")) {
    conv = rest.substr(3);
  } else if (rest.starts_with(u"h")) {
    form->size = ArgSize::kShort;
    conv = rest.substr(1);
  } else if (rest.starts_with(u"l") || rest.starts_with(u"w")) {
    form->size = ArgSize::kLong;
    conv = rest.substr(1);
  }
  if (conv.size() != 1) return false;
  switch (conv[0]) {
    case u's':
    case u'S':
    case u'c':
    case u'C':
    case u'd':
    case u'i':
    case u'u':
    case u'x':
    case u'X':
    case u'o':
      form->conversion = static_cast<char>(conv[0]);
      return true;
    default:
      return false;
  }
}

std::u16string ReadWideString(uintptr_t arg, int precision) {
  if (arg == 0) return u"(null)";
  const auto* p = reinterpret_cast<const char16_t*>(arg);
  std::u16string s;
  for (; *p != 0 && (precision < 0 || static_cast<int>(s.size()) < precision); ++p) s.push_back(*p);
  return s;
}

std::u16string ReadNarrowString(uintptr_t arg, int precision) {
  if (arg == 0) return u"(null)";
  const auto* p = reinterpret_cast<const uint8_t*>(arg);
  size_t n = 0;
  while (p[n] != 0 && (precision < 0 || n < static_cast<size_t>(precision))) ++n;
  return Cp1252ToUtf16(std::span<const uint8_t>(p, n));
}

// Whether a string or character form reads narrow text: S and C, or h with s and c.
bool IsNarrow(const InsertForm& form) {
  const bool upper = form.conversion == 'S' || form.conversion == 'C';
  if (form.size == ArgSize::kShort) return true;
  if (form.size == ArgSize::kLong) return false;
  return upper;
}

std::u16string Pad(std::u16string text, const InsertForm& form) {
  if (form.width < 0 || text.size() >= static_cast<size_t>(form.width)) return text;
  const size_t fill = static_cast<size_t>(form.width) - text.size();
  if (form.left) return text + std::u16string(fill, u' ');
  return std::u16string(fill, form.zero ? u'0' : u' ') + text;
}

std::u16string FormatNumber(uintptr_t arg, const InsertForm& form) {
  std::string spec = "%";
  if (form.left) spec += '-';
  if (form.zero) spec += '0';
  if (form.plus) spec += '+';
  if (form.space) spec += ' ';
  if (form.alternate) spec += '#';
  if (form.width >= 0) spec += std::to_string(form.width);
  if (form.precision >= 0) spec += "." + std::to_string(form.precision);
  spec += "ll";
  spec += form.conversion;
  const bool is_signed = form.conversion == 'd' || form.conversion == 'i';
  long long value;
  const uint64_t raw = arg;
  switch (form.size) {
    case ArgSize::kWide64:
      value = static_cast<long long>(raw);
      break;
    case ArgSize::kShort:
      value = is_signed ? static_cast<long long>(static_cast<int16_t>(raw))
                        : static_cast<long long>(static_cast<uint16_t>(raw));
      break;
    default:
      value = is_signed ? static_cast<long long>(static_cast<int32_t>(raw))
                        : static_cast<long long>(static_cast<uint32_t>(raw));
      break;
  }
  const int needed = std::snprintf(nullptr, 0, spec.c_str(), value);
  if (needed <= 0) return {};
  std::string narrow(static_cast<size_t>(needed) + 1, '\0');
  std::snprintf(narrow.data(), narrow.size(), spec.c_str(), value);
  narrow.resize(static_cast<size_t>(needed));
  return Widen(narrow);
}

std::u16string FormatInsert(uintptr_t arg, const InsertForm& form) {
  switch (form.conversion) {
    case 's':
    case 'S':
      return Pad(IsNarrow(form) ? ReadNarrowString(arg, form.precision)
                                : ReadWideString(arg, form.precision),
                 form);
    case 'c':
    case 'C': {
      if (IsNarrow(form)) {
        const uint8_t b = static_cast<uint8_t>(arg);
        return Pad(Cp1252ToUtf16(std::span<const uint8_t>(&b, 1)), form);
      }
      return Pad(std::u16string(1, static_cast<char16_t>(arg)), form);
    }
    default:
      return FormatNumber(arg, form);
  }
}

// Breaks lines longer than `width` at their last space (or hard at the width when there is
// none), with CR LF.
std::u16string WrapLines(const std::u16string& text, size_t width) {
  std::u16string out;
  size_t line_start = 0;
  for (char16_t c : text) {
    out.push_back(c);
    if (c == u'\r' || c == u'\n') {
      line_start = out.size();
      continue;
    }
    if (out.size() - line_start <= width) continue;
    const size_t space = out.rfind(u' ', out.size() - 2);
    if (space != std::u16string::npos && space >= line_start) {
      out.replace(space, 1, u"\r\n");
      line_start = space + 2;
    } else {
      out.insert(out.size() - 1, u"\r\n");
      line_start = out.size() - 1;
    }
  }
  return out;
}

}  // namespace

[[nodiscard]] Result FormatMessageTemplate(std::u16string_view pattern, uint32_t flags,
                                           const uintptr_t* args, size_t arg_count,
                                           std::u16string* out) {
  if (const size_t nul = pattern.find(u'\0'); nul != std::u16string_view::npos) {
    pattern = pattern.substr(0, nul);
  }
  if (args == nullptr) arg_count = 0;
  const uint32_t width = flags & kFormatMessageMaxWidthMask;
  const bool ignore_inserts = (flags & kFormatMessageIgnoreInserts) != 0;
  std::u16string text;
  text.reserve(pattern.size() + 64);
  size_t i = 0;
  while (i < pattern.size()) {
    const char16_t c = pattern[i];
    if (c == u'%') {
      if (i + 1 >= pattern.size()) return kErrorInvalidParameter;
      const char16_t e = pattern[i + 1];
      if (e >= u'1' && e <= u'9') {
        const size_t start = i;
        size_t number = e - u'0';
        i += 2;
        if (i < pattern.size() && IsDigit(pattern[i])) number = number * 10 + (pattern[i++] - u'0');
        std::u16string_view spec = u"s";
        if (i < pattern.size() && pattern[i] == u'!') {
          const size_t close = pattern.find(u'!', i + 1);
          if (close == std::u16string_view::npos) return kErrorInvalidParameter;
          spec = pattern.substr(i + 1, close - i - 1);
          i = close + 1;
        }
        if (ignore_inserts) {
          text.append(pattern.substr(start, i - start));
          continue;
        }
        InsertForm form;
        if (!ParseInsertForm(spec, &form)) return kErrorInvalidParameter;
        if (number > arg_count) return kErrorInvalidParameter;
        if (spec == u"s" && args[number - 1] != 0) {
          // The plain form, nearly every insert: the string as it is.
          text.append(reinterpret_cast<const char16_t*>(args[number - 1]));
          continue;
        }
        text += FormatInsert(args[number - 1], form);
        continue;
      }
      i += 2;
      if (e == u'0') break;
      if (e == u'n') {
        text += u"\r\n";
      } else if (e == u'r') {
        text += u'\r';
      } else if (e == u't') {
        text += u'\t';
      } else {
        text += e;  // %%, %., %!, "% " and unknown escapes: the character itself
      }
      continue;
    }
    if (c == u'\r' || c == u'\n') {
      // One literal line break (CR LF, a lone CR or a lone LF): a space under a width, else
      // CR LF, so that tables with any line ends format alike.
      text += width != 0 ? u" " : u"\r\n";
      i += (c == u'\r' && i + 1 < pattern.size() && pattern[i + 1] == u'\n') ? 2 : 1;
      continue;
    }
    // A run of plain characters goes in at once.
    size_t end = i + 1;
    while (end < pattern.size() && pattern[end] != u'%' && pattern[end] != u'\r' &&
           pattern[end] != u'\n') {
      ++end;
    }
    text.append(pattern.substr(i, end - i));
    i = end;
  }
  if (width != 0 && width != kFormatMessageMaxWidthMask) text = WrapLines(text, width);
  *out = std::move(text);
  return kSuccess;
}

[[nodiscard]] Result CheckFormatBufferSize(uint32_t flags, size_t size, size_t length) {
  if (flags & kFormatMessageAllocateBuffer) return kSuccess;
  return length < size ? kSuccess : kErrorInsufficientBuffer;
}

}  // namespace platform::emulated
