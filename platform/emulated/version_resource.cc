#include "platform/emulated/version_resource.h"

#include <cstdlib>

#include "platform/code_page.h"
#include "platform/text.h"

namespace platform::emulated {
namespace {

constexpr uint32_t kFixedSignature = 0xFEEF04BD;
constexpr uint32_t kFixedStructVersion = 0x00010000;
constexpr size_t kFixedSize = 13 * 4;
constexpr uint16_t kLangEnglishUs = 0x0409;

// ---- the script ------------------------------------------------------------------------------

struct Token {
  enum Kind { kEnd, kWord, kNumber, kString, kComma, kPipe, kOpen, kClose } kind = kEnd;
  std::string text;  // words upper-cased; strings decoded (UTF-8)
  uint32_t number = 0;
  int line = 1;
};

class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  bool Next(Token* t, std::string* error) {
    SkipBlanks();
    *t = Token{};
    t->line = line_;
    if (pos_ >= text_.size()) return true;
    const char c = text_[pos_];
    if (c == ',' || c == '|' || c == '{' || c == '}') {
      ++pos_;
      t->kind = c == ','   ? Token::kComma
                : c == '|' ? Token::kPipe
                : c == '{' ? Token::kOpen
                           : Token::kClose;
      return true;
    }
    if (c == '"') return String(t, error);
    if (c >= '0' && c <= '9') {
      const size_t start = pos_;
      while (pos_ < text_.size() && IsWordChar(text_[pos_])) ++pos_;
      std::string digits(text_.substr(start, pos_ - start));
      if (!digits.empty() && (digits.back() == 'L' || digits.back() == 'l')) digits.pop_back();
      char* end = nullptr;
      const unsigned long v = std::strtoul(digits.c_str(), &end, 0);
      if (*end != '\0' || v > 0xFFFFFFFFul) {
        *error = "not a number: " + digits;
        return false;
      }
      t->kind = Token::kNumber;
      t->number = static_cast<uint32_t>(v);
      return true;
    }
    if (IsWordChar(c)) {
      const size_t start = pos_;
      while (pos_ < text_.size() && IsWordChar(text_[pos_])) ++pos_;
      t->text = AsciiUpper(text_.substr(start, pos_ - start));
      t->kind = t->text == "BEGIN" ? Token::kOpen : t->text == "END" ? Token::kClose : Token::kWord;
      return true;
    }
    *error = std::string("unexpected character '") + c + "'";
    return false;
  }

 private:
  static bool IsWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  }

  void SkipBlanks() {
    bool line_start = pos_ == 0 || text_[pos_ - 1] == '\n';
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      if (c == '\n') {
        ++line_;
        ++pos_;
        line_start = true;
      } else if (c == ' ' || c == '\t' || c == '\r') {
        ++pos_;
      } else if ((line_start && c == '#') || text_.substr(pos_, 2) == "//") {
        while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
      } else {
        return;
      }
    }
  }

  bool String(Token* t, std::string* error) {
    ++pos_;
    std::string out;
    while (pos_ < text_.size()) {
      const char c = text_[pos_++];
      if (c == '"') {
        if (pos_ < text_.size() && text_[pos_] == '"') {  // "" is one quote
          out += '"';
          ++pos_;
          continue;
        }
        t->kind = Token::kString;
        t->text = std::move(out);
        return true;
      }
      if (c == '\n') break;
      if (c == '\\' && pos_ < text_.size()) {
        const char e = text_[pos_++];
        out += e == '0' ? '\0' : e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e;
        continue;
      }
      out += c;
    }
    *error = "unterminated string";
    return false;
  }

  std::string_view text_;
  size_t pos_ = 0;
  int line_ = 1;
};

class Parser {
 public:
  explicit Parser(std::string_view script) : lexer_(script) {}

  bool Run(VersionInfoScript* out) {
    if (!Advance()) return false;
    // Find "<name> VERSIONINFO".
    Token previous;
    while (!(current_.kind == Token::kWord && current_.text == "VERSIONINFO")) {
      if (current_.kind == Token::kEnd) return Fail("no VERSIONINFO statement");
      previous = current_;
      if (!Advance()) return false;
    }
    if (previous.kind == Token::kNumber) {
      out->resource_name = static_cast<uint16_t>(previous.number);
    }
    if (!Advance()) return false;
    while (current_.kind == Token::kWord) {
      const std::string statement = current_.text;
      if (!Advance()) return false;
      if (statement == "FILEVERSION" || statement == "PRODUCTVERSION") {
        uint32_t ms = 0, ls = 0;
        if (!FourPartVersion(&ms, &ls)) return false;
        if (statement == "FILEVERSION") {
          out->fixed.file_version_ms = ms;
          out->fixed.file_version_ls = ls;
        } else {
          out->fixed.product_version_ms = ms;
          out->fixed.product_version_ls = ls;
        }
        continue;
      }
      uint32_t* field = statement == "FILEFLAGSMASK" ? &out->fixed.file_flags_mask
                        : statement == "FILEFLAGS"   ? &out->fixed.file_flags
                        : statement == "FILEOS"      ? &out->fixed.file_os
                        : statement == "FILETYPE"    ? &out->fixed.file_type
                        : statement == "FILESUBTYPE" ? &out->fixed.file_subtype
                                                     : nullptr;
      if (field == nullptr) return Fail("unknown statement " + statement);
      if (!Expression(field)) return false;
    }
    if (!Expect(Token::kOpen, "BEGIN")) return false;
    while (current_.kind == Token::kWord && current_.text == "BLOCK") {
      if (!Advance()) return false;
      if (current_.kind != Token::kString) return Fail("BLOCK needs a name");
      const std::string block = current_.text;
      if (!Advance() || !Expect(Token::kOpen, "BEGIN")) return false;
      if (block == "StringFileInfo") {
        if (!StringFileInfo(out)) return false;
      } else if (block == "VarFileInfo") {
        if (!VarFileInfo(out)) return false;
      } else {
        return Fail("unknown block \"" + block + "\"");
      }
    }
    return Expect(Token::kClose, "END");
  }

  int line() const { return current_.line; }
  const std::string& error() const { return error_; }

 private:
  bool Advance() { return lexer_.Next(&current_, &error_); }

  bool Fail(std::string message) {
    error_ = std::move(message);
    return false;
  }

  bool Expect(Token::Kind kind, const char* what) {
    if (current_.kind != kind) return Fail(std::string("expected ") + what);
    return Advance();
  }

  bool Number(uint32_t* value) {
    if (current_.kind != Token::kNumber) return Fail("expected a number");
    *value = current_.number;
    return Advance();
  }

  // Numbers joined by |.
  bool Expression(uint32_t* value) {
    *value = 0;
    for (;;) {
      uint32_t part = 0;
      if (!Number(&part)) return false;
      *value |= part;
      if (current_.kind != Token::kPipe) return true;
      if (!Advance()) return false;
    }
  }

  bool FourPartVersion(uint32_t* ms, uint32_t* ls) {
    uint32_t parts[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4; ++i) {
      if (i > 0 && !Expect(Token::kComma, "','")) return false;
      if (!Number(&parts[i])) return false;
      if (parts[i] > 0xFFFF) return Fail("a version part above 65535");
    }
    *ms = parts[0] << 16 | parts[1];
    *ls = parts[2] << 16 | parts[3];
    return true;
  }

  bool StringFileInfo(VersionInfoScript* out) {
    while (current_.kind == Token::kWord && current_.text == "BLOCK") {
      if (!Advance()) return false;
      if (current_.kind != Token::kString) return Fail("BLOCK needs a name");
      VersionInfoScript::StringTable table;
      table.key = Utf8ToUtf16(current_.text);
      if (!Advance() || !Expect(Token::kOpen, "BEGIN")) return false;
      while (current_.kind == Token::kWord && current_.text == "VALUE") {
        if (!Advance()) return false;
        if (current_.kind != Token::kString) return Fail("VALUE needs a name");
        std::u16string name = Utf8ToUtf16(current_.text);
        if (!Advance() || !Expect(Token::kComma, "','")) return false;
        if (current_.kind != Token::kString) return Fail("a string VALUE needs a text");
        std::string text = current_.text;
        while (!text.empty() && text.back() == '\0') text.pop_back();
        table.values.emplace_back(std::move(name), Utf8ToUtf16(text));
        if (!Advance()) return false;
      }
      if (!Expect(Token::kClose, "END")) return false;
      out->string_tables.push_back(std::move(table));
    }
    return Expect(Token::kClose, "END");
  }

  bool VarFileInfo(VersionInfoScript* out) {
    while (current_.kind == Token::kWord && current_.text == "VALUE") {
      if (!Advance()) return false;
      if (current_.kind != Token::kString || current_.text != "Translation") {
        return Fail("VarFileInfo holds only VALUE \"Translation\"");
      }
      if (!Advance()) return false;
      while (current_.kind == Token::kComma) {
        uint32_t language = 0, code_page = 0;
        if (!Advance() || !Number(&language) || !Expect(Token::kComma, "','") ||
            !Number(&code_page)) {
          return false;
        }
        out->translations.emplace_back(static_cast<uint16_t>(language),
                                       static_cast<uint16_t>(code_page));
      }
    }
    return Expect(Token::kClose, "END");
  }

  Lexer lexer_;
  Token current_;
  std::string error_;
};

// ---- the binary layout -----------------------------------------------------------------------

// One node of VS_VERSIONINFO: wLength, wValueLength, wType, szKey, padding, Value, padding,
// Children.
struct Node {
  std::u16string key;
  uint16_t type = 1;          // 1 text, 0 binary
  uint16_t value_length = 0;  // characters for text, bytes for binary
  std::vector<uint8_t> value;
  std::vector<Node> children;
};

void Pad(std::vector<uint8_t>* out) {
  while (out->size() % 4 != 0) out->push_back(0);
}

void Put16(std::vector<uint8_t>* out, uint16_t v) {
  out->push_back(static_cast<uint8_t>(v));
  out->push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>* out, uint32_t v) {
  Put16(out, static_cast<uint16_t>(v));
  Put16(out, static_cast<uint16_t>(v >> 16));
}

void Write(const Node& node, std::vector<uint8_t>* out) {
  Pad(out);
  const size_t start = out->size();
  Put16(out, 0);  // wLength, filled in below
  Put16(out, node.value_length);
  Put16(out, node.type);
  for (char16_t c : node.key) Put16(out, c);
  Put16(out, 0);
  Pad(out);
  out->insert(out->end(), node.value.begin(), node.value.end());
  for (const Node& child : node.children) Write(child, out);
  const size_t length = out->size() - start;
  (*out)[start] = static_cast<uint8_t>(length);
  (*out)[start + 1] = static_cast<uint8_t>(length >> 8);
}

Node TextNode(std::u16string key, const std::u16string& text) {
  Node n;
  n.key = std::move(key);
  n.value_length = static_cast<uint16_t>(text.size() + 1);
  for (char16_t c : text) Put16(&n.value, c);
  Put16(&n.value, 0);
  return n;
}

}  // namespace

bool CompileVersionInfo(std::string_view script, VersionInfoScript* out, int* error_line,
                        std::string* error) {
  VersionInfoScript info;
  Parser parser(script);
  if (!parser.Run(&info)) {
    *error_line = parser.line();
    *error = parser.error();
    return false;
  }
  *out = std::move(info);
  return true;
}

uint16_t VersionResourceLanguage(const VersionInfoScript& info) {
  return info.translations.empty() ? kLangEnglishUs : info.translations.front().first;
}

std::vector<uint8_t> BuildVersionResource(const VersionInfoScript& info) {
  Node root;
  root.key = u"VS_VERSION_INFO";
  root.type = 0;
  root.value_length = kFixedSize;
  const FixedFileInfo& f = info.fixed;
  for (uint32_t v : {kFixedSignature, kFixedStructVersion, f.file_version_ms, f.file_version_ls,
                     f.product_version_ms, f.product_version_ls, f.file_flags_mask, f.file_flags,
                     f.file_os, f.file_type, f.file_subtype, 0u, 0u}) {
    Put32(&root.value, v);
  }
  if (!info.string_tables.empty()) {
    Node strings;
    strings.key = u"StringFileInfo";
    for (const auto& table : info.string_tables) {
      Node t;
      t.key = table.key;
      for (const auto& [name, text] : table.values) t.children.push_back(TextNode(name, text));
      strings.children.push_back(std::move(t));
    }
    root.children.push_back(std::move(strings));
  }
  if (!info.translations.empty()) {
    Node vars;
    vars.key = u"VarFileInfo";
    Node translation;
    translation.key = u"Translation";
    translation.type = 0;
    for (const auto& [language, code_page] : info.translations) {
      Put16(&translation.value, language);
      Put16(&translation.value, code_page);
    }
    translation.value_length = static_cast<uint16_t>(translation.value.size());
    vars.children.push_back(std::move(translation));
    root.children.push_back(std::move(vars));
  }
  std::vector<uint8_t> out;
  Write(root, &out);
  return out;
}

[[nodiscard]] Result ReadFixedFileInfo(std::span<const uint8_t> resource, FixedFileInfo* out) {
  // wLength, wValueLength, wType, "VS_VERSION_INFO" and its terminator, padding to 4.
  constexpr std::u16string_view kKey = u"VS_VERSION_INFO";
  constexpr size_t kValueAt = (6 + (kKey.size() + 1) * 2 + 3) / 4 * 4;
  if (resource.size() < kValueAt + kFixedSize) return kErrorInvalidData;
  const uint8_t* p = resource.data();
  if (ReadLe16(p) > resource.size() || ReadLe16(p + 2) < kFixedSize) return kErrorInvalidData;
  for (size_t i = 0; i < kKey.size(); ++i) {
    if (ReadLe16(p + 6 + 2 * i) != kKey[i]) return kErrorInvalidData;
  }
  const uint8_t* v = p + kValueAt;
  if (ReadLe32(v) != kFixedSignature) return kErrorInvalidData;
  FixedFileInfo f;
  f.file_version_ms = ReadLe32(v + 8);
  f.file_version_ls = ReadLe32(v + 12);
  f.product_version_ms = ReadLe32(v + 16);
  f.product_version_ls = ReadLe32(v + 20);
  f.file_flags_mask = ReadLe32(v + 24);
  f.file_flags = ReadLe32(v + 28);
  f.file_os = ReadLe32(v + 32);
  f.file_type = ReadLe32(v + 36);
  f.file_subtype = ReadLe32(v + 40);
  *out = f;
  return kSuccess;
}

}  // namespace platform::emulated
