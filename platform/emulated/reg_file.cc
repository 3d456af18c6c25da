#include "platform/emulated/reg_file.h"

#include <cstdio>

#include "platform/code_page.h"
#include "platform/text.h"

namespace platform::emulated {
namespace {

constexpr char16_t kHeader5[] = u"Windows Registry Editor Version 5.00";
constexpr char16_t kHeader4[] = u"REGEDIT4";
constexpr size_t kMaxKeyNameChars = 255;
// regedit breaks a hex line once it reaches this column, leaving room for the ",\" ending.
constexpr size_t kHexWrapColumn = 77;

bool StartsWithNoCase(std::u16string_view text, size_t pos, std::u16string_view prefix) {
  return text.size() - pos >= prefix.size() &&
         EqualsIgnoringCase(text.substr(pos, prefix.size()), prefix);
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t'; }

size_t SkipSpace(std::u16string_view line, size_t pos) {
  while (pos < line.size() && IsSpace(line[pos])) ++pos;
  return pos;
}

// True when nothing but blanks or a ';' comment follows `pos`.
bool OnlyCommentAfter(std::u16string_view line, size_t pos) {
  pos = SkipSpace(line, pos);
  return pos == line.size() || line[pos] == u';';
}

std::string Quote(std::u16string_view text) {
  constexpr size_t kShown = 40;
  std::string s = Utf16ToUtf8(text.substr(0, kShown));
  if (text.size() > kShown) s += "...";
  return "\"" + s + "\"";
}

void AppendUtf16Le(std::u16string_view text, std::vector<uint8_t>* out) {
  for (char16_t c : text) {
    out->push_back(static_cast<uint8_t>(c & 0xFF));
    out->push_back(static_cast<uint8_t>(c >> 8));
  }
}

// Offset of the first byte that is not part of valid UTF-8, or npos.
size_t InvalidUtf8At(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    size_t len = c < 0x80             ? 1
                 : (c & 0xE0) == 0xC0 ? 2
                 : (c & 0xF0) == 0xE0 ? 3
                 : (c & 0xF8) == 0xF0 ? 4
                                      : 0;
    if (len == 0 || i + len > s.size()) return i;
    uint32_t cp = len == 1 ? c : c & (0x7F >> len);
    for (size_t k = 1; k < len; ++k) {
      const unsigned char cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) return i;
      cp = cp << 6 | (cc & 0x3F);
    }
    static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return i;
    i += len;
  }
  return std::string_view::npos;
}

int LineOfOffset(std::string_view s, size_t offset) {
  int line = 1;
  for (size_t i = 0; i < offset && i < s.size(); ++i) {
    if (s[i] == '\n') ++line;
  }
  return line;
}

bool DecodeText(std::string_view bytes, const AnsiDecoder& ansi, std::u16string* text,
                RegFileError* error) {
  auto utf16 = [&](std::string_view b) {
    if (b.size() % 2) {
      *error = {0, "the file ends in the middle of a UTF-16 character"};
      return false;
    }
    text->resize(b.size() / 2);
    for (size_t i = 0; i < text->size(); ++i) {
      (*text)[i] = static_cast<char16_t>(static_cast<uint8_t>(b[2 * i]) |
                                         static_cast<uint8_t>(b[2 * i + 1]) << 8);
    }
    return true;
  };
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') return utf16(bytes.substr(2));
  if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF') {
    *error = {0, "UTF-16 big-endian files are not supported (save as UTF-16LE or UTF-8)"};
    return false;
  }
  // UTF-16LE without a byte order mark: the header's first character is ASCII.
  if (bytes.size() >= 2 && bytes[0] != '\0' && bytes[1] == '\0') return utf16(bytes);
  const bool bom = bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF";
  if (bom) bytes.remove_prefix(3);
  const size_t bad = InvalidUtf8At(bytes);
  if (bad == std::string_view::npos) {
    *text = Utf8ToUtf16(bytes);
    return true;
  }
  // A REGEDIT4 file that is not UTF-8 was written in the ANSI code page.
  if (!bom && bytes.substr(0, 8) == "REGEDIT4" && ansi) {
    *text = ansi(bytes);
    return true;
  }
  *error = {LineOfOffset(bytes, bad), "the text is not valid UTF-8"};
  return false;
}

std::vector<std::u16string_view> SplitLines(std::u16string_view text) {
  std::vector<std::u16string_view> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' || text[i] == u'\n') {
      lines.push_back(text.substr(start, i - start));
      if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
      start = i + 1;
    }
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

std::u16string_view TrimRight(std::u16string_view s) {
  while (!s.empty() && (IsSpace(s.back()) || s.back() == u'\0')) s.remove_suffix(1);
  return s;
}

// Checks a full key name and splits it; answers the reason it is bad, or empty.
std::string CheckKeyName(std::u16string_view full, RegRoot* root, std::u16string* path) {
  const size_t sep = full.find(u'\\');
  const std::u16string_view head = full.substr(0, sep);
  if (EqualsIgnoringCase(head, u"HKEY_LOCAL_MACHINE") || EqualsIgnoringCase(head, u"HKLM")) {
    *root = RegRoot::kLocalMachine;
  } else if (EqualsIgnoringCase(head, u"HKEY_CURRENT_USER") || EqualsIgnoringCase(head, u"HKCU")) {
    *root = RegRoot::kCurrentUser;
  } else {
    return "unknown root key " + Quote(head) + " (HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER)";
  }
  path->clear();
  if (sep == std::u16string_view::npos) return {};
  std::u16string_view rest = full.substr(sep + 1);
  if (!rest.empty() && rest.back() == u'\\') rest.remove_suffix(1);
  size_t pos = 0;
  while (pos <= rest.size() && !rest.empty()) {
    size_t next = rest.find(u'\\', pos);
    if (next == std::u16string_view::npos) next = rest.size();
    const size_t len = next - pos;
    if (len == 0) return "empty key name in " + Quote(full);
    if (len > kMaxKeyNameChars) return "key name longer than 255 characters";
    pos = next + 1;
  }
  *path = std::u16string(rest);
  return {};
}

class Parser {
 public:
  Parser(std::vector<std::u16string_view> lines, bool regedit4, const AnsiDecoder& ansi,
         RegFile* out, RegFileError* error)
      : lines_(std::move(lines)), regedit4_(regedit4), ansi_(ansi), out_(out), error_(error) {}

  bool Run() {
    for (index_ = 1; index_ < lines_.size(); ++index_) {
      const std::u16string_view raw = lines_[index_];
      const size_t pos = SkipSpace(raw, 0);
      const std::u16string_view line = TrimRight(raw.substr(pos));
      if (line.empty() || line[0] == u';') continue;
      bool ok;
      if (line[0] == u'[') {
        ok = KeyLine(line);
      } else if (line[0] == u'"' || line[0] == u'@') {
        ok = ValueLine(line);
      } else {
        ok = Fail("unexpected text " + Quote(line) + " (expected [KEY] or \"NAME\"=DATA)");
      }
      if (!ok) return false;
    }
    return true;
  }

 private:
  [[nodiscard]] int LineNumber() const { return static_cast<int>(index_) + 1; }

  bool Fail(std::string message) {
    *error_ = {LineNumber(), std::move(message)};
    return false;
  }

  bool KeyLine(std::u16string_view line) {
    const size_t close = line.rfind(u']');
    if (close == std::u16string_view::npos) return Fail("the key name has no closing ']'");
    if (!OnlyCommentAfter(line, close + 1)) return Fail("unexpected text after the key name");
    std::u16string_view name = line.substr(1, close - 1);
    RegFileKey key;
    key.line = LineNumber();
    if (!name.empty() && name[0] == u'-') {
      key.remove = true;
      name.remove_prefix(1);
    }
    const std::string bad = CheckKeyName(name, &key.root, &key.path);
    if (!bad.empty()) return Fail(bad);
    out_->keys.push_back(std::move(key));
    return true;
  }

  // Reads a quoted text starting at line[*pos] == '"'; leaves *pos after the closing quote.
  bool Quoted(std::u16string_view line, size_t* pos, std::u16string* text, const char* what) {
    text->clear();
    for (size_t i = *pos + 1; i < line.size(); ++i) {
      const char16_t c = line[i];
      if (c == u'"') {
        *pos = i + 1;
        return true;
      }
      if (c == u'\\') {
        if (i + 1 >= line.size()) break;
        const char16_t e = line[++i];
        if (e != u'\\' && e != u'"') {
          return Fail(std::string("unknown escape \\") + Utf16ToUtf8(std::u16string(1, e)) +
                      " in the " + what + " (only \\\\ and \\\" are allowed)");
        }
        text->push_back(e);
        continue;
      }
      text->push_back(c);
    }
    return Fail(std::string("the ") + what + " has no closing quote");
  }

  bool ValueLine(std::u16string_view line) {
    if (out_->keys.empty()) return Fail("a value before the first [KEY] line");
    RegFileKey& key = out_->keys.back();
    if (key.remove) return Fail("a value under a key that is being deleted ([-KEY])");
    RegFileValue value;
    value.line = LineNumber();
    size_t pos = 1;  // after '@'
    if (line[0] == u'"') {
      pos = 0;
      if (!Quoted(line, &pos, &value.name, "value name")) return false;
    }
    if (value.name.size() > 16383) return Fail("value name longer than 16383 characters");
    pos = SkipSpace(line, pos);
    if (pos >= line.size() || line[pos] != u'=') return Fail("expected '=' after the value name");
    pos = SkipSpace(line, pos + 1);
    if (!Data(line, pos, &value)) return false;
    key.values.push_back(std::move(value));
    return true;
  }

  bool Data(std::u16string_view line, size_t pos, RegFileValue* value) {
    if (pos < line.size() && line[pos] == u'"') {
      std::u16string text;
      if (!Quoted(line, &pos, &text, "value data")) return false;
      if (!OnlyCommentAfter(line, pos)) return Fail("unexpected text after the closing quote");
      text.push_back(u'\0');
      value->type = kRegSz;
      AppendUtf16Le(text, &value->data);
      return true;
    }
    if (pos < line.size() && line[pos] == u'-') {
      if (!OnlyCommentAfter(line, pos + 1)) return Fail("unexpected text after '-'");
      value->remove = true;
      return true;
    }
    if (StartsWithNoCase(line, pos, u"dword:")) return Dword(line, pos + 6, value);
    if (StartsWithNoCase(line, pos, u"hex:")) {
      value->type = kRegBinary;
      return HexList(line, pos + 4, value);
    }
    if (StartsWithNoCase(line, pos, u"hex(")) {
      const size_t close = line.find(u')', pos);
      if (close == std::u16string_view::npos || close + 1 >= line.size() ||
          line[close + 1] != u':') {
        return Fail("expected hex(TYPE): with TYPE a hex number");
      }
      const std::u16string_view digits = line.substr(pos + 4, close - pos - 4);
      if (digits.empty() || digits.size() > 8) return Fail("bad value type in hex(...)");
      uint32_t type = 0;
      for (char16_t c : digits) {
        if (HexDigit(c) < 0) return Fail("bad value type " + Quote(digits) + " in hex(...)");
        type = type << 4 | static_cast<uint32_t>(HexDigit(c));
      }
      value->type = type;
      return HexList(line, close + 2, value);
    }
    return Fail("unknown value data " + Quote(line.substr(pos)) +
                " (expected \"TEXT\", dword:, hex:, hex(TYPE): or -)");
  }

  bool Dword(std::u16string_view line, size_t pos, RegFileValue* value) {
    size_t end = pos;
    uint32_t v = 0;
    while (end < line.size() && HexDigit(line[end]) >= 0) {
      v = v << 4 | static_cast<uint32_t>(HexDigit(line[end]));
      ++end;
    }
    if (end == pos) return Fail("dword: needs a hex number");
    if (end - pos > 8) return Fail("dword: takes at most 8 hex digits");
    if (!OnlyCommentAfter(line, end)) return Fail("unexpected text after the dword");
    value->type = kRegDword;
    for (int i = 0; i < 4; ++i) value->data.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return true;
  }

  // Comma-separated hex bytes, continued on the next line after a trailing backslash.
  bool HexList(std::u16string_view line, size_t pos, RegFileValue* value) {
    std::vector<uint8_t>& bytes = value->data;
    for (;;) {
      pos = SkipSpace(line, pos);
      if (pos >= line.size() || line[pos] == u';') break;
      if (line[pos] == u'\\') {
        if (!OnlyCommentAfter(line, pos + 1)) return Fail("unexpected text after '\\'");
        if (index_ + 1 >= lines_.size()) {
          return Fail("the value continues past the end of the file");
        }
        line = TrimRight(lines_[++index_]);
        pos = 0;
        continue;
      }
      int hi = HexDigit(line[pos]);
      if (hi < 0) return Fail("bad hex byte " + Quote(line.substr(pos, 2)));
      ++pos;
      int v = hi;
      if (pos < line.size() && HexDigit(line[pos]) >= 0) v = v << 4 | HexDigit(line[pos++]);
      bytes.push_back(static_cast<uint8_t>(v));
      pos = SkipSpace(line, pos);
      if (pos < line.size() && line[pos] == u',') {
        ++pos;
      } else if (pos < line.size() && line[pos] != u'\\' && line[pos] != u';') {
        return Fail("expected ',' between hex bytes, found " + Quote(line.substr(pos, 1)));
      }
    }
    // REGEDIT4 files hold the texts of hex(1), hex(2) and hex(7) in the ANSI code page.
    const bool text =
        value->type == kRegSz || value->type == kRegExpandSz || value->type == kRegMultiSz;
    if (regedit4_ && text && ansi_) {
      const std::u16string wide =
          ansi_(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
      bytes.clear();
      AppendUtf16Le(wide, &bytes);
    }
    return true;
  }

  std::vector<std::u16string_view> lines_;
  bool regedit4_;
  const AnsiDecoder& ansi_;
  RegFile* out_;
  RegFileError* error_;
  size_t index_ = 0;
};

std::u16string Escape(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c == u'\\' || c == u'"') out.push_back(u'\\');
    out.push_back(c);
  }
  return out;
}

// A REG_SZ that regedit can write between quotes: one terminator at the end, no other zero,
// nothing that would break the line.
bool IsPlainText(const std::vector<uint8_t>& data) {
  if (data.size() < 2 || data.size() % 2) return false;
  const size_t n = data.size() / 2;
  for (size_t i = 0; i < n; ++i) {
    const char16_t c = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    if (i + 1 == n) return c == u'\0';
    if (c == u'\0' || c == u'\r' || c == u'\n') return false;
  }
  return false;
}

std::u16string TextOf(const std::vector<uint8_t>& data) {
  std::u16string text(data.size() / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  }
  return text;
}

std::u16string HexByte(uint8_t b) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  return {kDigits[b >> 4], kDigits[b & 0xF]};
}

void FormatValue(const RegFileValue& value, std::u16string* out) {
  std::u16string line = value.name.empty() ? u"@=" : u"\"" + Escape(value.name) + u"\"=";
  if (value.remove) {
    *out += line + u"-\r\n";
    return;
  }
  if (value.type == kRegSz && IsPlainText(value.data)) {
    std::u16string text = TextOf(value.data);
    text.pop_back();
    *out += line + u"\"" + Escape(text) + u"\"\r\n";
    return;
  }
  if (value.type == kRegDword && value.data.size() == 4) {
    const uint32_t v = ReadLe32(value.data.data());
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", v);
    *out += line + u"dword:" + Widen(hex) + u"\r\n";
    return;
  }
  if (value.type == kRegBinary) {
    line += u"hex:";
  } else {
    char type[16];
    std::snprintf(type, sizeof type, "hex(%x):", value.type);
    line += Widen(type);
  }
  size_t column = line.size();
  for (size_t i = 0; i < value.data.size(); ++i) {
    line += HexByte(value.data[i]);
    if (i + 1 == value.data.size()) break;
    line += u',';
    column += 3;
    if (column >= kHexWrapColumn) {
      line += u"\\\r\n  ";
      column = 2;
    }
  }
  *out += line + u"\r\n";
}

}  // namespace

bool SplitRootPath(std::u16string_view full, RegRoot* root, std::u16string* path) {
  return CheckKeyName(full, root, path).empty();
}

std::u16string RootName(RegRoot root) {
  return root == RegRoot::kLocalMachine ? u"HKEY_LOCAL_MACHINE" : u"HKEY_CURRENT_USER";
}

bool ParseRegFile(std::string_view bytes, const AnsiDecoder& ansi, RegFile* out,
                  RegFileError* error) {
  std::u16string text;
  if (!DecodeText(bytes, ansi, &text, error)) return false;
  const std::vector<std::u16string_view> lines = SplitLines(text);
  const std::u16string_view header = lines.empty() ? std::u16string_view() : TrimRight(lines[0]);
  const bool regedit4 = header == kHeader4;
  if (header != kHeader5 && !regedit4) {
    *error = {1,
              "not a registry file: the first line must be \"Windows Registry Editor Version "
              "5.00\" or \"REGEDIT4\""};
    return false;
  }
  RegFile file;
  Parser parser(lines, regedit4, ansi, &file, error);
  if (!parser.Run()) return false;
  *out = std::move(file);
  return true;
}

std::u16string FormatRegText(const RegFile& file) {
  std::u16string out = std::u16string(kHeader5) + u"\r\n\r\n";
  for (const RegFileKey& key : file.keys) {
    out += key.remove ? u"[-" : u"[";
    out += RootName(key.root);
    if (!key.path.empty()) out += u"\\" + key.path;
    out += u"]\r\n";
    for (const RegFileValue& value : key.values) FormatValue(value, &out);
    out += u"\r\n";
  }
  return out;
}

std::string FormatRegFile(const RegFile& file) {
  const std::u16string text = FormatRegText(file);
  std::string bytes = "\xFF\xFE";
  bytes.reserve(2 + text.size() * 2);
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

}  // namespace platform::emulated
