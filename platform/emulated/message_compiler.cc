#include "platform/emulated/message_compiler.h"

#include <cstdio>
#include <optional>
#include <set>

#include "platform/code_page.h"
#include "platform/emulated/pe_message_table.h"
#include "platform/text.h"

namespace platform::emulated {
namespace {

std::u16string DecodeSource(std::string_view bytes, bool* ok) {
  *ok = true;
  if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xff &&
      static_cast<uint8_t>(bytes[1]) == 0xfe) {
    if (bytes.size() % 2 != 0) {
      *ok = false;
      return {};
    }
    std::u16string text;
    for (size_t i = 2; i < bytes.size(); i += 2) {
      text.push_back(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) |
                                           (static_cast<uint8_t>(bytes[i + 1]) << 8)));
    }
    return text;
  }
  if (bytes.starts_with("\xef\xbb\xbf")) bytes.remove_prefix(3);
  return Utf8ToUtf16(bytes);
}

bool IsSpace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\v' || c == u'\f';
}
bool IsWordStart(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
}
bool IsWordChar(char16_t c) { return IsWordStart(c) || (c >= u'0' && c <= u'9'); }

struct Token {
  enum Kind { kEnd, kWord, kNumber, kSymbol } kind = kEnd;
  std::u16string text;
  int line = 0;
};

// Splits the statements outside message texts into tokens; ';' comments go to the header.
class Lexer {
 public:
  Lexer(std::u16string text, std::string* header) : text_(std::move(text)), header_(header) {}

  Token Peek() {
    const size_t pos = pos_;
    const int line = line_;
    const size_t header_size = header_->size();
    Token t = Next();
    pos_ = pos;
    line_ = line;
    header_->resize(header_size);
    return t;
  }

  Token Next() {
    SkipBlanks();
    Token t;
    t.line = line_;
    if (pos_ >= text_.size()) return t;
    const char16_t c = text_[pos_];
    size_t end = pos_ + 1;
    if (IsWordStart(c)) {
      t.kind = Token::kWord;
      while (end < text_.size() && IsWordChar(text_[end])) ++end;
    } else if (c >= u'0' && c <= u'9') {
      t.kind = Token::kNumber;
      while (end < text_.size() && IsWordChar(text_[end])) ++end;
    } else {
      t.kind = Token::kSymbol;
    }
    t.text = text_.substr(pos_, end - pos_);
    pos_ = end;
    return t;
  }

  // After a Language statement: skips the rest of its line, then reads the lines up to one that
  // holds a single "." (trailing blanks allowed). Each line keeps its text and gets CR LF.
  bool ReadMessageText(std::u16string* text) {
    SkipLine();
    text->clear();
    while (pos_ < text_.size()) {
      size_t end = text_.find(u'\n', pos_);
      if (end == std::u16string::npos) end = text_.size();
      std::u16string_view line(text_.data() + pos_, end - pos_);
      if (line.ends_with(u'\r')) line.remove_suffix(1);
      pos_ = end < text_.size() ? end + 1 : end;
      ++line_;
      std::u16string_view trimmed = line;
      while (!trimmed.empty() && IsSpace(trimmed.back())) trimmed.remove_suffix(1);
      if (trimmed == u".") return true;
      text->append(line);
      text->append(u"\r\n");
    }
    return false;
  }

  int line() const { return line_; }

 private:
  void SkipBlanks() {
    while (pos_ < text_.size()) {
      const char16_t c = text_[pos_];
      if (c == u'\n') {
        ++line_;
        ++pos_;
      } else if (IsSpace(c)) {
        ++pos_;
      } else if (c == u';') {
        size_t end = text_.find(u'\n', pos_);
        if (end == std::u16string::npos) end = text_.size();
        std::u16string_view comment(text_.data() + pos_ + 1, end - pos_ - 1);
        if (comment.ends_with(u'\r')) comment.remove_suffix(1);
        *header_ += Utf16ToUtf8(comment) + "\n";
        pos_ = end;
      } else {
        break;
      }
    }
  }

  void SkipLine() {
    const size_t end = text_.find(u'\n', pos_);
    if (end == std::u16string::npos) {
      pos_ = text_.size();
    } else {
      pos_ = end + 1;
      ++line_;
    }
  }

  std::u16string text_;
  std::string* header_;
  size_t pos_ = 0;
  int line_ = 1;
};

std::optional<uint32_t> ParseNumber(std::u16string_view text) {
  uint64_t value = 0;
  unsigned base = 10;
  size_t i = 0;
  if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
    base = 16;
    i = 2;
  } else if (text.size() > 1 && text[0] == u'0') {
    base = 8;
    i = 1;
  }
  for (; i < text.size(); ++i) {
    const char16_t c = text[i];
    unsigned digit;
    if (c >= u'0' && c <= u'9') {
      digit = c - u'0';
    } else if (c >= u'a' && c <= u'f') {
      digit = c - u'a' + 10;
    } else if (c >= u'A' && c <= u'F') {
      digit = c - u'A' + 10;
    } else {
      return std::nullopt;
    }
    if (digit >= base) return std::nullopt;
    value = value * base + digit;
    if (value > 0xffffffffu) return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

struct NamedValue {
  uint32_t value;
};

enum class IdSpec { kAbsolute, kRelative, kNext };

class Compiler {
 public:
  Compiler(std::u16string text, McDocument* doc)
      : doc_(doc), lexer_(std::move(text), &doc->header) {
    severities_ = {{"success", 0}, {"informational", 1}, {"warning", 2}, {"error", 3}};
    facilities_ = {{"system", 0x0ff}, {"application", 0xfff}};
    languages_ = {{"english", 0x409}};
  }

  bool Run(McError* error) {
    error_ = error;
    for (;;) {
      Token keyword = lexer_.Next();
      if (keyword.kind == Token::kEnd) break;
      if (keyword.kind != Token::kWord) return Fail(keyword.line, "expected a keyword");
      if (!Expect(u"=")) return false;
      if (!Statement(keyword)) return false;
    }
    return FinishMessage();
  }

 private:
  bool Fail(int line, std::string message) {
    error_->line = line;
    error_->message = std::move(message);
    return false;
  }

  bool Expect(std::u16string_view symbol) {
    Token t = lexer_.Next();
    if (t.kind != Token::kSymbol || t.text != symbol) {
      return Fail(t.line, "expected '" + Utf16ToUtf8(symbol) + "'");
    }
    return true;
  }

  bool Word(Token* t, const char* what) {
    *t = lexer_.Next();
    if (t->kind != Token::kWord) return Fail(t->line, std::string("expected ") + what);
    return true;
  }

  bool Number(Token* t, uint32_t* value) {
    *t = lexer_.Next();
    auto n = t->kind == Token::kNumber ? ParseNumber(t->text) : std::nullopt;
    if (!n) return Fail(t->line, "expected a number");
    *value = *n;
    return true;
  }

  bool Statement(const Token& keyword) {
    const std::string k = AsciiLowerUtf8(keyword.text);
    Token t;
    if (k == "messageidtypedef") {
      if (!Word(&t, "a type name")) return false;
      typedef_ = Utf16ToUtf8(t.text);
      return true;
    }
    if (k == "severitynames") return NameList(&severities_, 0x3, false);
    if (k == "facilitynames") return NameList(&facilities_, 0xfff, false);
    if (k == "languagenames") return NameList(&languages_, 0xffff, true);
    if (k == "outputbase") {
      uint32_t base;
      if (!Number(&t, &base)) return false;
      if (base != 10 && base != 16) return Fail(t.line, "OutputBase must be 10 or 16");
      output_base_ = base;
      return true;
    }
    if (k == "messageid") return MessageId(keyword.line);
    if (k == "severity" || k == "facility") {
      if (!Word(&t, "a name")) return false;
      if (!open_) return Fail(t.line, keyword_name(k) + " outside a message");
      if (id_fixed_) return Fail(t.line, keyword_name(k) + " must come before Language");
      const auto& names = k == "severity" ? severities_ : facilities_;
      auto it = names.find(AsciiLowerUtf8(t.text));
      if (it == names.end()) {
        return Fail(t.line, "unknown " + k + " name '" + Utf16ToUtf8(t.text) + "'");
      }
      (k == "severity" ? severity_ : facility_) = it->second;
      return true;
    }
    if (k == "symbolicname") {
      if (!Word(&t, "a symbol")) return false;
      if (!open_) return Fail(t.line, "SymbolicName outside a message");
      doc_->messages.back().symbolic_name = Utf16ToUtf8(t.text);
      return true;
    }
    if (k == "language") return Language();
    return Fail(keyword.line, "unknown keyword '" + Utf16ToUtf8(keyword.text) + "'");
  }

  static std::string keyword_name(const std::string& k) {
    return k == "severity" ? "Severity" : "Facility";
  }

  // (name=number[:symbol] ...); LanguageNames use the ':' part as a file name.
  bool NameList(std::map<std::string, uint32_t>* names, uint32_t max, bool is_language) {
    if (!Expect(u"(")) return false;
    for (;;) {
      Token name = lexer_.Next();
      if (name.kind == Token::kSymbol && name.text == u")") return true;
      if (name.kind != Token::kWord) return Fail(name.line, "expected a name or ')'");
      if (!Expect(u"=")) return false;
      Token t;
      uint32_t value;
      if (!Number(&t, &value)) return false;
      if (value > max) return Fail(t.line, "value out of range");
      (*names)[AsciiLowerUtf8(name.text)] = value;
      Token next = lexer_.Peek();
      if (next.kind == Token::kSymbol && next.text == u":") {
        lexer_.Next();
        Token symbol;
        if (!Word(&symbol, "a name after ':'")) return false;
        if (!is_language) AddDefine(Utf16ToUtf8(symbol.text), value, "");
      }
    }
  }

  bool MessageId(int line) {
    if (!FinishMessage()) return false;
    Token next = lexer_.Peek();
    Token t;
    if (next.kind == Token::kNumber) {
      if (!Number(&t, &code_)) return false;
      spec_ = IdSpec::kAbsolute;
    } else if (next.kind == Token::kSymbol && next.text == u"+") {
      lexer_.Next();
      if (!Number(&t, &code_)) return false;
      spec_ = IdSpec::kRelative;
    } else {
      spec_ = IdSpec::kNext;
      code_ = 1;
    }
    open_ = true;
    id_fixed_ = false;
    doc_->messages.push_back({});
    doc_->messages.back().line = line;
    return true;
  }

  bool FixId(int line) {
    uint32_t& last = last_code_[facility_];
    const uint64_t code = spec_ == IdSpec::kAbsolute ? code_ : uint64_t{last} + code_;
    if (code > 0xffff) return Fail(line, "message id out of range");
    last = static_cast<uint32_t>(code);
    const uint32_t id = (severity_ << 30) | (facility_ << 16) | static_cast<uint32_t>(code);
    if (!ids_.insert(id).second) return Fail(line, "duplicate message id");
    doc_->messages.back().id = id;
    id_fixed_ = true;
    return true;
  }

  bool Language() {
    Token name;
    if (!Word(&name, "a language name")) return false;
    if (!open_) return Fail(name.line, "Language outside a message");
    auto it = languages_.find(AsciiLowerUtf8(name.text));
    if (it == languages_.end()) {
      return Fail(name.line, "unknown language name '" + Utf16ToUtf8(name.text) + "'");
    }
    if (!id_fixed_ && !FixId(name.line)) return false;
    McMessage& message = doc_->messages.back();
    const uint16_t language = static_cast<uint16_t>(it->second);
    if (message.texts.count(language)) return Fail(name.line, "language given twice");
    std::u16string text;
    if (!lexer_.ReadMessageText(&text)) {
      return Fail(name.line, "message text not ended by a line with a single '.'");
    }
    if (text.size() > kMaxMessageTextChars) {
      return Fail(name.line, "message text longer than " + std::to_string(kMaxMessageTextChars) +
                                 " characters (a message table entry holds no more)");
    }
    if (message.texts.empty()) AddMessageDefine(message, text);
    message.texts[language] = std::move(text);
    return true;
  }

  bool FinishMessage() {
    if (open_ && doc_->messages.back().texts.empty()) {
      return Fail(doc_->messages.back().line, "message without text");
    }
    open_ = false;
    return true;
  }

  std::string FormatValue(uint32_t value) const {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, output_base_ == 10 ? "%u" : "0x%X", value);
    return buffer;
  }

  void AddDefine(const std::string& name, uint32_t value, const std::string& suffix) {
    doc_->header += "#define " + name + " " + FormatValue(value) + suffix + "\n";
  }

  void AddMessageDefine(const McMessage& message, const std::u16string& text) {
    if (message.symbolic_name.empty()) return;
    std::string& h = doc_->header;
    h += "//\n// MessageId: " + message.symbolic_name + "\n//\n// MessageText:\n//\n";
    std::string body = Utf16ToUtf8(text);
    size_t start = 0;
    while (start < body.size()) {
      size_t end = body.find("\r\n", start);
      if (end == std::string::npos) end = body.size();
      h += "// " + body.substr(start, end - start) + "\n";
      start = end + 2;
    }
    h += "//\n";
    const std::string value = FormatValue(message.id) + "L";
    h += "#define " + message.symbolic_name + " " +
         (typedef_.empty() ? value : "((" + typedef_ + ")" + value + ")") + "\n\n";
  }

  McDocument* doc_;
  Lexer lexer_;
  McError* error_ = nullptr;
  std::map<std::string, uint32_t> severities_, facilities_, languages_;
  std::map<uint32_t, uint32_t> last_code_;  // by facility
  std::set<uint32_t> ids_;
  std::string typedef_;
  uint32_t output_base_ = 16;
  uint32_t severity_ = 0;
  uint32_t facility_ = 0;
  bool open_ = false;
  bool id_fixed_ = false;
  IdSpec spec_ = IdSpec::kNext;
  uint32_t code_ = 0;
};

// Little-endian writers over a growing byte vector.
void Put16(std::vector<uint8_t>* b, size_t at, uint16_t v) {
  (*b)[at] = static_cast<uint8_t>(v);
  (*b)[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(std::vector<uint8_t>* b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*b)[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put64(std::vector<uint8_t>* b, size_t at, uint64_t v) {
  for (int i = 0; i < 8; ++i) (*b)[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
size_t Align(size_t v, size_t a) { return (v + a - 1) / a * a; }

// The .rsrc section at `rva`: Type -> Name -> one language entry per table.
std::vector<uint8_t> BuildResourceSection(uint16_t type, uint16_t resource_name,
                                          const std::map<uint16_t, std::vector<uint8_t>>& tables,
                                          uint32_t rva) {
  const size_t n = tables.size();
  const size_t type_dir = 0, name_dir = 24, lang_dir = 48;
  const size_t data_entries = lang_dir + 16 + 8 * n;
  size_t data = Align(data_entries + 16 * n, 8);
  std::vector<uint8_t> s(data);
  Put16(&s, type_dir + 14, 1);
  Put32(&s, type_dir + 16, type);
  Put32(&s, type_dir + 20, 0x80000000u | name_dir);
  Put16(&s, name_dir + 14, 1);
  Put32(&s, name_dir + 16, resource_name);
  Put32(&s, name_dir + 20, 0x80000000u | lang_dir);
  Put16(&s, lang_dir + 14, static_cast<uint16_t>(n));
  size_t i = 0;
  for (const auto& [language, bytes] : tables) {
    const size_t entry = data_entries + 16 * i;
    Put32(&s, lang_dir + 16 + 8 * i, language);
    Put32(&s, lang_dir + 20 + 8 * i, static_cast<uint32_t>(entry));
    s.resize(Align(s.size(), 8));
    Put32(&s, entry, rva + static_cast<uint32_t>(s.size()));
    Put32(&s, entry + 4, static_cast<uint32_t>(bytes.size()));
    s.insert(s.end(), bytes.begin(), bytes.end());
    ++i;
  }
  return s;
}

}  // namespace

bool CompileMessageText(std::string_view bytes, McDocument* out, McError* error) {
  bool ok;
  std::u16string text = DecodeSource(bytes, &ok);
  if (!ok) {
    *error = {1, "UTF-16 input with an odd number of bytes"};
    return false;
  }
  McDocument doc;
  Compiler compiler(std::move(text), &doc);
  if (!compiler.Run(error)) return false;
  *out = std::move(doc);
  return true;
}

std::vector<uint8_t> BuildMessageTableResource(const std::map<uint32_t, std::u16string>& messages) {
  struct Block {
    uint32_t low, high;
  };
  std::vector<Block> blocks;
  for (const auto& [id, text] : messages) {
    if (!blocks.empty() && blocks.back().high + 1 == id && blocks.back().high != 0xffffffffu) {
      blocks.back().high = id;
    } else {
      blocks.push_back({id, id});
    }
  }
  std::vector<uint8_t> b(4 + 12 * blocks.size());
  Put32(&b, 0, static_cast<uint32_t>(blocks.size()));
  auto message = messages.begin();
  for (size_t i = 0; i < blocks.size(); ++i) {
    Put32(&b, 4 + 12 * i, blocks[i].low);
    Put32(&b, 8 + 12 * i, blocks[i].high);
    Put32(&b, 12 + 12 * i, static_cast<uint32_t>(b.size()));
    for (uint64_t id = blocks[i].low; id <= blocks[i].high; ++id, ++message) {
      const std::u16string& text = message->second;
      const size_t length = 4 + Align((text.size() + 1) * 2, 4);
      const size_t at = b.size();
      b.resize(at + length);
      Put16(&b, at, static_cast<uint16_t>(length));
      Put16(&b, at + 2, 1);
      for (size_t c = 0; c < text.size(); ++c) Put16(&b, at + 4 + 2 * c, text[c]);
    }
  }
  return b;
}

std::vector<uint8_t> BuildMessageDll(const McDocument& document) {
  std::map<uint16_t, std::map<uint32_t, std::u16string>> by_language;
  for (const McMessage& m : document.messages) {
    for (const auto& [language, text] : m.texts) by_language[language][m.id] = text;
  }
  std::map<uint16_t, std::vector<uint8_t>> tables;
  for (const auto& [language, messages] : by_language) {
    tables[language] = BuildMessageTableResource(messages);
  }
  return BuildResourceDll(kRtMessageTable, 1, tables);
}

std::vector<uint8_t> BuildResourceDll(uint16_t type, uint16_t name,
                                      const std::map<uint16_t, std::vector<uint8_t>>& resources) {
  constexpr uint32_t kFileAlign = 0x200, kSectionAlign = 0x1000, kRsrcRva = 0x1000;
  constexpr size_t kPe = 0x40, kCoff = kPe + 4, kOptional = kCoff + 20, kOptionalSize = 240;
  constexpr size_t kSectionHeader = kOptional + kOptionalSize;
  const std::vector<uint8_t> rsrc = BuildResourceSection(type, name, resources, kRsrcRva);
  const size_t raw_size = Align(rsrc.size(), kFileAlign);
  const size_t headers_size = Align(kSectionHeader + 40, kFileAlign);

  std::vector<uint8_t> f(headers_size + raw_size);
  f[0] = 'M';
  f[1] = 'Z';
  Put32(&f, 0x3c, kPe);
  f[kPe] = 'P';
  f[kPe + 1] = 'E';
  Put16(&f, kCoff, 0x8664);                    // Machine: x64
  Put16(&f, kCoff + 2, 1);                     // NumberOfSections
  Put16(&f, kCoff + 16, kOptionalSize);        // SizeOfOptionalHeader
  Put16(&f, kCoff + 18, 0x2000 | 0x20 | 0x2);  // DLL, large address aware, executable image

  const size_t o = kOptional;
  Put16(&f, o, 0x20b);                                // PE32+
  f[o + 2] = 14;                                      // linker version
  Put32(&f, o + 8, static_cast<uint32_t>(raw_size));  // SizeOfInitializedData
  Put64(&f, o + 24, 0x180000000ull);                  // ImageBase
  Put32(&f, o + 32, kSectionAlign);
  Put32(&f, o + 36, kFileAlign);
  Put16(&f, o + 40, 6);  // operating system version 6.0
  Put16(&f, o + 48, 6);  // subsystem version 6.0
  Put32(&f, o + 56, static_cast<uint32_t>(kRsrcRva + Align(rsrc.size(), kSectionAlign)));
  Put32(&f, o + 60, static_cast<uint32_t>(headers_size));
  Put16(&f, o + 68, 2);       // Subsystem: Windows GUI
  Put16(&f, o + 70, 0x0100);  // DllCharacteristics: NX compatible
  Put64(&f, o + 72, 0x100000);
  Put64(&f, o + 80, 0x1000);
  Put64(&f, o + 88, 0x100000);
  Put64(&f, o + 96, 0x1000);
  Put32(&f, o + 108, 16);  // NumberOfRvaAndSizes
  Put32(&f, o + 112 + 2 * 8, kRsrcRva);
  Put32(&f, o + 112 + 2 * 8 + 4, static_cast<uint32_t>(rsrc.size()));

  const size_t sh = kSectionHeader;
  const char section_name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
  for (int i = 0; i < 8; ++i) f[sh + i] = static_cast<uint8_t>(section_name[i]);
  Put32(&f, sh + 8, static_cast<uint32_t>(rsrc.size()));
  Put32(&f, sh + 12, kRsrcRva);
  Put32(&f, sh + 16, static_cast<uint32_t>(raw_size));
  Put32(&f, sh + 20, static_cast<uint32_t>(headers_size));
  Put32(&f, sh + 36, 0x40000040u);  // initialized data, readable
  std::copy(rsrc.begin(), rsrc.end(), f.begin() + static_cast<std::ptrdiff_t>(headers_size));
  return f;
}

}  // namespace platform::emulated
