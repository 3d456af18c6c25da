// ntbox reg: the registry of an emulated computer, in the syntax of Windows' reg.exe.
//
//   reg query  KEY [/v NAME | /ve] [/s]
//   reg add    KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]
//   reg delete KEY [/v NAME | /ve | /va] [/f]
//   reg export KEY FILE [/y]
//   reg import FILE
//   reg deny   KEY      (opening the key answers "access denied" until `reg allow KEY`)
//
// KEY is [\\COMPUTER\]ROOT[\PATH] with ROOT one of HKLM, HKEY_LOCAL_MACHINE, HKCU,
// HKEY_CURRENT_USER. Results go to standard output, errors to standard error; the exit code is
// 0 on success, 1 when the operation failed, 2 for a bad command line.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <string>

#include "platform/code_page.h"
#include "platform/emulated/reg_file.h"
#include "platform/emulated/sqlite_db.h"
#include "platform/text.h"
#include "tools/ntbox/commands.h"
#include "tools/ntbox/machine_arg.h"

namespace ntbox {
namespace {

using platform::RegAccess;
using platform::RegKey;
using platform::RegRoot;
using platform::Result;
using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;
using platform::emulated::EmulatedPlatform;
using platform::emulated::RegFile;
using platform::emulated::RegFileError;
using platform::emulated::RegFileKey;
using platform::emulated::RegFileValue;
using platform::emulated::Transaction;

constexpr int kFailed = 1;
constexpr int kBadUsage = 2;
constexpr size_t kNameBufferChars = 256;  // key names are at most 255 characters
constexpr char kDone[] = "The operation completed successfully.\n";

// Reports an error of subcommand `op` ("query", "add", ...) and answers `code`.
int Error(const std::string& op, const std::string& message, int code = kFailed) {
  std::fprintf(stderr, "ntbox reg %s: %s\n", op.c_str(), message.c_str());
  return code;
}

// The text Windows gives for the result codes the registry answers.
std::string Describe(Result r) {
  switch (r) {
    case platform::kErrorFileNotFound:
      return "The system was unable to find the specified registry key or value.";
    case platform::kErrorAccessDenied:
      return "Access is denied.";
    case platform::kErrorInvalidHandle:
      return "The handle is invalid.";
    case platform::kErrorInvalidData:
      return "The data is invalid.";
    case platform::kErrorBadNetpath:
      return "The network path was not found.";
    case platform::kErrorInvalidParameter:
      return "The parameter is incorrect.";
    case platform::kErrorKeyDeleted:
      return "Illegal operation attempted on a registry key that has been marked for deletion.";
    default:
      return "Error " + std::to_string(r) + ".";
  }
}

// reg.exe switches: "/v" or "-v", any case.
bool IsSwitch(const std::string& arg, const char* name) {
  return arg.size() >= 2 && (arg[0] == '/' || arg[0] == '-') &&
         platform::AsciiLower(arg.substr(1)) == name;
}

// A switch is a slash and one or two letters; anything longer (a file path such as /tmp/x.reg)
// is an argument.
bool LooksLikeSwitch(const std::string& arg) {
  if (arg.size() < 2 || arg.size() > 3 || arg[0] != '/') return false;
  for (size_t i = 1; i < arg.size(); ++i) {
    if (!std::isalpha(static_cast<unsigned char>(arg[i])) && arg[i] != '?') return false;
  }
  return true;
}

struct KeyName {
  std::u16string computer;  // empty: this computer
  RegRoot root = RegRoot::kLocalMachine;
  std::u16string path;  // below the root
  std::string display;  // as reg.exe prints it: [\\COMPUTER\]HKEY_...[\PATH]
};

bool ParseKeyName(const std::string& arg, KeyName* key, std::string* error) {
  std::u16string text = Utf8ToUtf16(arg);
  std::string prefix;
  if (text.rfind(u"\\\\", 0) == 0) {
    const size_t end = text.find(u'\\', 2);
    key->computer = text.substr(2, end == std::u16string::npos ? end : end - 2);
    if (key->computer.empty() || end == std::u16string::npos) {
      *error = "invalid key name '" + arg + "' (expected \\\\COMPUTER\\HKLM\\PATH)";
      return false;
    }
    text = text.substr(end + 1);
    prefix = "\\\\" + Utf16ToUtf8(key->computer) + "\\";
  }
  if (!platform::emulated::SplitRootPath(text, &key->root, &key->path)) {
    *error = "invalid key name '" + arg +
             "' (the root must be HKLM or HKCU; key names 1-255 "
             "characters)";
    return false;
  }
  if (!key->computer.empty() && key->root != RegRoot::kLocalMachine) {
    *error = "invalid key name '" + arg + "' (a remote computer offers only HKLM)";
    return false;
  }
  key->display = prefix + Utf16ToUtf8(platform::emulated::RootName(key->root));
  if (!key->path.empty()) key->display += "\\" + Utf16ToUtf8(key->path);
  return true;
}

[[nodiscard]] Result OpenRootOf(EmulatedPlatform& p, const KeyName& name,
                                std::unique_ptr<RegKey>* out) {
  if (name.computer.empty()) return p.registry().OpenRoot(name.root, out);
  return p.registry().Connect(name.computer, name.root, out);
}

// Asks a Yes/No question on the terminal. Without a terminal there is nobody to ask: false.
bool Confirm(const std::string& question, bool* asked) {
  *asked = isatty(STDIN_FILENO) != 0;
  if (!*asked) return false;
  std::printf("%s (Yes/No)? ", question.c_str());
  std::fflush(stdout);
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  answer = platform::AsciiLower(answer);
  return answer == "y" || answer == "yes";
}

// When the user must confirm: answers -1 to go on, else the exit code to return.
int ConfirmOrStop(const std::string& op, const std::string& question, const std::string& refusal) {
  bool asked = false;
  if (Confirm(question, &asked)) return -1;
  if (!asked) return Error(op, refusal);
  std::printf("The operation was canceled by the user.\n");
  return 0;
}

// ---- query ----------------------------------------------------------------------------------

std::string TypeName(uint32_t type) {
  static const char* const kNames[] = {"REG_NONE",
                                       "REG_SZ",
                                       "REG_EXPAND_SZ",
                                       "REG_BINARY",
                                       "REG_DWORD",
                                       "REG_DWORD_BIG_ENDIAN",
                                       "REG_LINK",
                                       "REG_MULTI_SZ",
                                       "REG_RESOURCE_LIST",
                                       "REG_FULL_RESOURCE_DESCRIPTOR",
                                       "REG_RESOURCE_REQUIREMENTS_LIST",
                                       "REG_QWORD"};
  if (type < std::size(kNames)) return kNames[type];
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%x", type);
  return buf;
}

std::u16string TextOf(const std::vector<uint8_t>& data) {
  std::u16string text(data.size() / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  }
  return text;
}

uint64_t LittleEndian(const std::vector<uint8_t>& data) {
  uint64_t v = 0;
  for (size_t i = data.size(); i-- > 0;) v = v << 8 | data[i];
  return v;
}

// The data column of reg query.
std::string ShowData(uint32_t type, const std::vector<uint8_t>& data) {
  char buf[32];
  switch (type) {
    case platform::kRegSz:
    case platform::kRegExpandSz: {
      std::u16string text = TextOf(data);
      text.resize(std::min(text.size(), text.find(u'\0')));
      return Utf16ToUtf8(text);
    }
    case platform::kRegMultiSz: {
      std::u16string text = TextOf(data);
      while (!text.empty() && text.back() == u'\0') text.pop_back();
      std::string out;
      size_t start = 0;
      for (;;) {
        const size_t nul = text.find(u'\0', start);
        out += Utf16ToUtf8(text.substr(start, nul == std::u16string::npos ? nul : nul - start));
        if (nul == std::u16string::npos) break;
        out += "\\0";
        start = nul + 1;
      }
      return out;
    }
    case platform::kRegDword:
      if (data.size() != 4) break;
      std::snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(LittleEndian(data)));
      return buf;
    case 11:  // REG_QWORD
      if (data.size() != 8) break;
      std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(LittleEndian(data)));
      return buf;
  }
  std::string hex;
  for (uint8_t b : data) {
    std::snprintf(buf, sizeof buf, "%02X", b);
    hex += buf;
  }
  return hex;
}

void PrintValue(const std::u16string& name, uint32_t type, const std::vector<uint8_t>& data) {
  const std::string shown = name.empty() ? "(Default)" : Utf16ToUtf8(name);
  std::printf("    %s    %s    %s\n", shown.c_str(), TypeName(type).c_str(),
              ShowData(type, data).c_str());
}

[[nodiscard]] Result ReadValue(RegKey& key, std::u16string_view name, uint32_t* type,
                               std::vector<uint8_t>* data) {
  for (;;) {
    uint32_t size = 0;
    Result r = key.QueryValue(name, type, nullptr, &size);
    if (r != platform::kSuccess) return r;
    data->resize(size);
    r = key.QueryValue(name, type, data->data(), &size);
    if (r == platform::kErrorMoreData) continue;  // grew in between
    data->resize(size);
    return r;
  }
}

std::vector<std::u16string> SubkeyNames(RegKey& key, Result* result) {
  std::vector<std::u16string> names;
  std::u16string name;
  for (uint32_t i = 0;; ++i) {
    *result = key.EnumKey(i, kNameBufferChars, &name);
    if (*result != platform::kSuccess) break;
    names.push_back(name);
  }
  if (*result == platform::kErrorNoMoreItems) *result = platform::kSuccess;
  return names;
}

struct QueryOptions {
  bool one_value = false;  // /v or /ve
  std::u16string value;
  bool recursive = false;
  int matches = 0;
  bool failed = false;
};

// Prints one key (and with /s everything below it).
void QueryKey(RegKey& key, const std::string& display, QueryOptions& o) {
  Result r = platform::kSuccess;
  if (o.one_value) {
    uint32_t type = 0;
    std::vector<uint8_t> data;
    r = ReadValue(key, o.value, &type, &data);
    if (r == platform::kSuccess) {
      std::printf("\n%s\n", display.c_str());
      PrintValue(o.value, type, data);
      ++o.matches;
    } else if (r == platform::kErrorFileNotFound && o.value.empty() && !o.recursive) {
      std::printf("\n%s\n    (Default)    REG_SZ    (value not set)\n", display.c_str());
      ++o.matches;
    }
  } else {
    std::printf("\n%s\n", display.c_str());
    std::u16string name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
    for (uint32_t i = 0; key.EnumValue(i, &name, &type, &data) == platform::kSuccess; ++i) {
      PrintValue(name, type, data);
    }
  }
  const std::vector<std::u16string> subkeys = SubkeyNames(key, &r);
  if (r != platform::kSuccess) {
    Error("query", display + ": " + Describe(r));
    o.failed = true;
  }
  if (!o.recursive) {
    if (!o.one_value) {
      if (!subkeys.empty()) std::printf("\n");
      for (const auto& sub : subkeys)
        std::printf("%s\\%s\n", display.c_str(), Utf16ToUtf8(sub).c_str());
    }
    return;
  }
  for (const auto& sub : subkeys) {
    const std::string sub_display = display + "\\" + Utf16ToUtf8(sub);
    std::unique_ptr<RegKey> child;
    r = key.OpenKey(sub, RegAccess::kRead, &child);
    if (r != platform::kSuccess) {
      Error("query", sub_display + ": " + Describe(r));
      o.failed = true;
      continue;
    }
    QueryKey(*child, sub_display, o);
  }
}

int Query(EmulatedPlatform& p, const Args& args) {
  KeyName name;
  QueryOptions o;
  std::string error;
  bool have_key = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (IsSwitch(a, "v") && i + 1 < args.size() && !o.one_value) {
      o.one_value = true;
      o.value = Utf8ToUtf16(args[++i]);
    } else if (IsSwitch(a, "ve") && !o.one_value) {
      o.one_value = true;
    } else if (IsSwitch(a, "s")) {
      o.recursive = true;
    } else if (!have_key && !LooksLikeSwitch(a)) {
      if (!ParseKeyName(a, &name, &error)) return Error("query", error, kBadUsage);
      have_key = true;
    } else {
      return Error("query",
                   "invalid syntax at '" + a + "'; usage: reg query KEY [/v NAME | /ve] [/s]",
                   kBadUsage);
    }
  }
  if (!have_key) return Error("query", "usage: reg query KEY [/v NAME | /ve] [/s]", kBadUsage);

  std::unique_ptr<RegKey> root, key;
  Result r = OpenRootOf(p, name, &root);
  if (r == platform::kSuccess) r = root->OpenKey(name.path, RegAccess::kRead, &key);
  if (r != platform::kSuccess) return Error("query", name.display + ": " + Describe(r));
  QueryKey(*key, name.display, o);
  if (o.one_value && o.recursive) {
    std::printf("End of search: %d match(es) found.\n", o.matches);
  } else if (o.one_value && o.matches == 0) {
    return Error("query", name.display + ": " + Describe(platform::kErrorFileNotFound));
  }
  if (o.one_value && !o.recursive) std::printf("\n");
  return o.failed ? kFailed : 0;
}

// ---- add ------------------------------------------------------------------------------------

void AppendText(std::u16string_view text, std::vector<uint8_t>* out) {
  for (char16_t c : text) {
    out->push_back(static_cast<uint8_t>(c & 0xFF));
    out->push_back(static_cast<uint8_t>(c >> 8));
  }
  out->push_back(0);
  out->push_back(0);
}

bool ParseType(const std::string& text, uint32_t* type) {
  const std::string t = platform::AsciiLower(text);
  if (t == "reg_sz")
    *type = platform::kRegSz;
  else if (t == "reg_expand_sz")
    *type = platform::kRegExpandSz;
  else if (t == "reg_multi_sz")
    *type = platform::kRegMultiSz;
  else if (t == "reg_dword")
    *type = platform::kRegDword;
  else if (t == "reg_binary")
    *type = platform::kRegBinary;
  else
    return false;
  return true;
}

bool ParseDword(const std::string& text, uint32_t* value) {
  if (text.empty()) return false;
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = hex ? text.substr(2) : text;
  if (digits.empty() || digits.size() > (hex ? 8 : 10)) return false;
  uint64_t v = 0;
  for (char c : digits) {
    const int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                  : hex && std::isxdigit(static_cast<unsigned char>(c))
                      ? std::tolower(static_cast<unsigned char>(c)) - 'a' + 10
                      : -1;
    if (d < 0) return false;
    v = v * (hex ? 16 : 10) + static_cast<uint64_t>(d);
  }
  if (v > 0xFFFFFFFFu) return false;
  *value = static_cast<uint32_t>(v);
  return true;
}

// The bytes to store for /t TYPE /d DATA (/s SEPARATOR for REG_MULTI_SZ).
bool EncodeData(uint32_t type, const std::string& data, const std::string& separator,
                std::vector<uint8_t>* out, std::string* error) {
  out->clear();
  switch (type) {
    case platform::kRegDword: {
      uint32_t v = 0;
      if (!data.empty() && !ParseDword(data, &v)) {
        *error = "invalid REG_DWORD data '" + data +
                 "' (a number from 0 to 4294967295, decimal or 0x hex)";
        return false;
      }
      for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(v >> (8 * i)));
      return true;
    }
    case platform::kRegBinary: {
      if (data.size() % 2) {
        *error = "invalid REG_BINARY data '" + data + "' (pairs of hex digits)";
        return false;
      }
      for (size_t i = 0; i < data.size(); i += 2) {
        if (!std::isxdigit(static_cast<unsigned char>(data[i])) ||
            !std::isxdigit(static_cast<unsigned char>(data[i + 1]))) {
          *error = "invalid REG_BINARY data '" + data + "' (pairs of hex digits)";
          return false;
        }
        out->push_back(static_cast<uint8_t>(std::stoi(data.substr(i, 2), nullptr, 16)));
      }
      return true;
    }
    case platform::kRegMultiSz: {
      const std::u16string text = Utf8ToUtf16(data);
      const std::u16string sep = Utf8ToUtf16(separator);
      std::vector<std::u16string> parts;
      size_t start = 0;
      while (start < text.size()) {
        size_t end = text.find(sep, start);
        if (end == std::u16string::npos) end = text.size();
        parts.push_back(text.substr(start, end - start));
        start = end + sep.size();
      }
      for (const auto& part : parts) {
        if (part.empty()) {
          *error = "invalid REG_MULTI_SZ data '" + data + "' (an empty string inside the list)";
          return false;
        }
        AppendText(part, out);
      }
      out->push_back(0);
      out->push_back(0);
      return true;
    }
    default:
      AppendText(Utf8ToUtf16(data), out);
      return true;
  }
}

int Add(EmulatedPlatform& p, const Args& args) {
  KeyName name;
  std::string error, data, separator;
  bool have_key = false, have_value = false, have_type = false, have_data = false;
  bool have_separator = false, force = false;
  std::u16string value;
  uint32_t type = platform::kRegSz;
  const char* usage =
      "usage: reg add KEY [/v NAME | /ve] [/t REG_SZ|REG_EXPAND_SZ|REG_MULTI_SZ|REG_DWORD|"
      "REG_BINARY] [/s SEPARATOR] [/d DATA] [/f]";
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool has_arg = i + 1 < args.size();
    if (IsSwitch(a, "v") && has_arg && !have_value) {
      have_value = true;
      value = Utf8ToUtf16(args[++i]);
    } else if (IsSwitch(a, "ve") && !have_value) {
      have_value = true;
    } else if (IsSwitch(a, "t") && has_arg && !have_type) {
      have_type = true;
      if (!ParseType(args[++i], &type)) {
        return Error("add",
                     "invalid type '" + args[i] +
                         "' (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD or REG_BINARY)",
                     kBadUsage);
      }
    } else if (IsSwitch(a, "s") && has_arg && !have_separator) {
      have_separator = true;
      separator = args[++i];
    } else if (IsSwitch(a, "d") && has_arg && !have_data) {
      have_data = true;
      data = args[++i];
    } else if (IsSwitch(a, "f")) {
      force = true;
    } else if (!have_key && !LooksLikeSwitch(a)) {
      if (!ParseKeyName(a, &name, &error)) return Error("add", error, kBadUsage);
      have_key = true;
    } else {
      return Error("add", "invalid syntax at '" + a + "'; " + usage, kBadUsage);
    }
  }
  if (!have_key) return Error("add", usage, kBadUsage);
  if (have_separator && (type != platform::kRegMultiSz || Utf8ToUtf16(separator).size() != 1)) {
    return Error("add", "/s takes one character and only goes with REG_MULTI_SZ", kBadUsage);
  }
  std::vector<uint8_t> bytes;
  if (!EncodeData(type, data, have_separator ? separator : "\\0", &bytes, &error)) {
    return Error("add", error, kBadUsage);
  }
  const bool set_value = have_value || have_type || have_data;

  std::unique_ptr<RegKey> root, key;
  Result r = OpenRootOf(p, name, &root);
  if (r != platform::kSuccess) return Error("add", name.display + ": " + Describe(r));
  if (set_value && !force) {
    std::unique_ptr<RegKey> existing;
    uint32_t size = 0;
    if (root->OpenKey(name.path, RegAccess::kRead, &existing) == platform::kSuccess &&
        existing->QueryValue(value, nullptr, nullptr, &size) == platform::kSuccess) {
      const std::string shown = value.empty() ? "(Default)" : Utf16ToUtf8(value);
      const int stop = ConfirmOrStop(
          "add", "Value " + shown + " exists, overwrite",
          "value " + shown + " already exists in " + name.display + "; use /f to overwrite it");
      if (stop >= 0) return stop;
    }
  }
  r = root->CreateKey(name.path, &key);
  if (r == platform::kSuccess && set_value) {
    r = key->SetValue(value, type, bytes.data(), static_cast<uint32_t>(bytes.size()));
  }
  if (r != platform::kSuccess) return Error("add", name.display + ": " + Describe(r));
  std::fputs(kDone, stdout);
  return 0;
}

// ---- delete ---------------------------------------------------------------------------------

// Runs `work` inside one write transaction of the computer's database when the key is local, so
// that a failure halfway leaves everything as it was.
[[nodiscard]] Result Atomically(EmulatedPlatform& p, bool local,
                                const std::function<Result()>& work) {
  if (!local) return work();
  try {
    Transaction t(p.machine().db(), Transaction::kWrite);
    const Result r = work();
    if (r == platform::kSuccess) t.Commit();
    return r;
  } catch (const platform::emulated::DbError&) {
    return platform::kErrorInvalidData;
  }
}

int Delete(EmulatedPlatform& p, const Args& args) {
  KeyName name;
  std::string error;
  bool have_key = false, have_value = false, all_values = false, force = false;
  std::u16string value;
  const char* usage = "usage: reg delete KEY [/v NAME | /ve | /va] [/f]";
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (IsSwitch(a, "v") && i + 1 < args.size() && !have_value && !all_values) {
      have_value = true;
      value = Utf8ToUtf16(args[++i]);
    } else if (IsSwitch(a, "ve") && !have_value && !all_values) {
      have_value = true;
    } else if (IsSwitch(a, "va") && !have_value) {
      all_values = true;
    } else if (IsSwitch(a, "f")) {
      force = true;
    } else if (!have_key && !LooksLikeSwitch(a)) {
      if (!ParseKeyName(a, &name, &error)) return Error("delete", error, kBadUsage);
      have_key = true;
    } else {
      return Error("delete", "invalid syntax at '" + a + "'; " + usage, kBadUsage);
    }
  }
  if (!have_key) return Error("delete", usage, kBadUsage);
  const bool whole_key = !have_value && !all_values;
  if (whole_key && name.path.empty()) {
    return Error("delete", name.display + ": a root key cannot be deleted");
  }

  std::unique_ptr<RegKey> root, key;
  Result r = OpenRootOf(p, name, &root);
  if (r == platform::kSuccess) r = root->OpenKey(name.path, RegAccess::kReadWrite, &key);
  if (r == platform::kSuccess && have_value) {
    uint32_t size = 0;
    r = key->QueryValue(value, nullptr, nullptr, &size);
  }
  if (r != platform::kSuccess) return Error("delete", name.display + ": " + Describe(r));
  if (!force) {
    const std::string shown = value.empty() ? "(Default)" : Utf16ToUtf8(value);
    const std::string question = whole_key ? "Permanently delete the registry key " + name.display
                                 : all_values
                                     ? "Delete all values under the registry key " + name.display
                                     : "Delete the registry value " + shown;
    const int stop = ConfirmOrStop("delete", question, "not deleting without /f: " + question);
    if (stop >= 0) return stop;
  }
  r = Atomically(p, name.computer.empty(), [&]() -> Result {
    if (whole_key) {
      key.reset();
      return platform::DeleteKeyTree(*root, name.path);
    }
    if (have_value) return key->DeleteValue(value);
    std::u16string n;
    Result e;
    while ((e = key->EnumValue(0, &n, nullptr, nullptr)) == platform::kSuccess) {
      e = key->DeleteValue(n);
      if (e != platform::kSuccess) return e;
    }
    return e == platform::kErrorNoMoreItems ? platform::kSuccess : e;
  });
  if (r != platform::kSuccess) return Error("delete", name.display + ": " + Describe(r));
  std::fputs(kDone, stdout);
  return 0;
}

// ---- export and import ----------------------------------------------------------------------

// Adds `key` and everything below it to `file`, the key before its subkeys.
[[nodiscard]] Result Collect(RegKey& key, RegRoot root, const std::u16string& path, RegFile* file) {
  RegFileKey entry;
  entry.root = root;
  entry.path = path;
  RegFileValue v;
  Result r;
  for (uint32_t i = 0; (r = key.EnumValue(i, &v.name, &v.type, &v.data)) == platform::kSuccess;
       ++i) {
    entry.values.push_back(v);
  }
  if (r != platform::kErrorNoMoreItems) return r;
  file->keys.push_back(std::move(entry));
  const std::vector<std::u16string> subkeys = SubkeyNames(key, &r);
  if (r != platform::kSuccess) return r;
  for (const auto& sub : subkeys) {
    std::unique_ptr<RegKey> child;
    r = key.OpenKey(sub, RegAccess::kRead, &child);
    if (r == platform::kSuccess) {
      r = Collect(*child, root, path.empty() ? sub : path + u"\\" + sub, file);
    }
    if (r != platform::kSuccess) return r;
  }
  return platform::kSuccess;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes, std::string* error) {
  const std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (out) out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out || !out.flush()) {
      *error = "cannot write " + path + ": " + std::strerror(errno);
      std::remove(temp.c_str());
      return false;
    }
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

int Export(EmulatedPlatform& p, const Args& args) {
  KeyName name;
  std::string error, file_name;
  bool have_key = false, overwrite = false;
  const char* usage = "usage: reg export KEY FILE [/y]";
  for (const std::string& a : args) {
    if (IsSwitch(a, "y")) {
      overwrite = true;
    } else if (!have_key && !LooksLikeSwitch(a)) {
      if (!ParseKeyName(a, &name, &error)) return Error("export", error, kBadUsage);
      have_key = true;
    } else if (file_name.empty() && !LooksLikeSwitch(a)) {
      file_name = a;
    } else {
      return Error("export", "invalid syntax at '" + a + "'; " + usage, kBadUsage);
    }
  }
  if (!have_key || file_name.empty()) return Error("export", usage, kBadUsage);
  if (!name.computer.empty()) {
    return Error("export", "export works only on this computer, not on " + name.display, kBadUsage);
  }
  RegFile file;
  Result r;
  try {
    // One read transaction: the file shows the keys as they were at one moment.
    Transaction t(p.machine().db(), Transaction::kRead);
    std::unique_ptr<RegKey> root, key;
    r = p.registry().OpenRoot(name.root, &root);
    if (r == platform::kSuccess) r = root->OpenKey(name.path, RegAccess::kRead, &key);
    if (r == platform::kSuccess) r = Collect(*key, name.root, name.path, &file);
  } catch (const platform::emulated::DbError&) {
    r = platform::kErrorInvalidData;
  }
  if (r != platform::kSuccess) return Error("export", name.display + ": " + Describe(r));
  struct stat st;
  if (!overwrite && stat(file_name.c_str(), &st) == 0) {
    const int stop = ConfirmOrStop("export", "File " + file_name + " already exists. Overwrite",
                                   file_name + " already exists; use /y to overwrite it");
    if (stop >= 0) return stop;
  }
  if (!WriteWholeFile(file_name, platform::emulated::FormatRegFile(file), &error)) {
    return Error("export", error);
  }
  std::fputs(kDone, stdout);
  return 0;
}

std::string KeyDisplay(const RegFileKey& key) {
  std::string s = Utf16ToUtf8(platform::emulated::RootName(key.root));
  if (!key.path.empty()) s += "\\" + Utf16ToUtf8(key.path);
  return s;
}

// Applies a parsed file. On failure *line is the line of the key or value that failed.
[[nodiscard]] Result Apply(EmulatedPlatform& p, const RegFile& file, int* line, std::string* what) {
  for (const RegFileKey& entry : file.keys) {
    *line = entry.line;
    *what = KeyDisplay(entry);
    std::unique_ptr<RegKey> root, key;
    Result r = p.registry().OpenRoot(entry.root, &root);
    if (r != platform::kSuccess) return r;
    if (entry.remove) {
      if (entry.path.empty()) return platform::kErrorAccessDenied;  // a root cannot go
      r = platform::DeleteKeyTree(*root, entry.path);
      if (r != platform::kSuccess && r != platform::kErrorFileNotFound) return r;
      continue;
    }
    r = root->CreateKey(entry.path, &key);
    if (r != platform::kSuccess) return r;
    for (const RegFileValue& v : entry.values) {
      *line = v.line;
      r = v.remove
              ? key->DeleteValue(v.name)
              : key->SetValue(v.name, v.type, v.data.data(), static_cast<uint32_t>(v.data.size()));
      if (r != platform::kSuccess && !(v.remove && r == platform::kErrorFileNotFound)) {
        *what = KeyDisplay(entry) + " value " +
                (v.name.empty() ? std::string("@") : "\"" + Utf16ToUtf8(v.name) + "\"");
        return r;
      }
    }
  }
  return platform::kSuccess;
}

int Import(EmulatedPlatform& p, const Args& args) {
  if (args.size() != 1 || LooksLikeSwitch(args[0])) {
    return Error("import", "usage: reg import FILE", kBadUsage);
  }
  const std::string& file_name = args[0];
  std::ifstream in(file_name, std::ios::binary);
  if (!in) return Error("import", "cannot read " + file_name + ": " + std::strerror(errno));
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return Error("import", "cannot read " + file_name + ": " + std::strerror(errno));

  // The whole file is read before anything is written: a bad line changes nothing.
  RegFile file;
  RegFileError parse_error;
  platform::CodePage& cp = p.code_page();
  const platform::emulated::AnsiDecoder ansi = [&cp](std::string_view s) {
    return cp.AnsiToWide(s);
  };
  if (!platform::emulated::ParseRegFile(bytes, ansi, &file, &parse_error)) {
    const std::string where =
        parse_error.line ? file_name + ":" + std::to_string(parse_error.line) : file_name;
    return Error("import", where + ": " + parse_error.message);
  }
  int line = 0;
  std::string what;
  const Result r = Atomically(p, true, [&] { return Apply(p, file, &line, &what); });
  if (r != platform::kSuccess) {
    return Error("import", file_name + ":" + std::to_string(line) + ": cannot write " + what +
                               ": " + Describe(r) + " Nothing was imported.");
  }
  std::fputs(kDone, stdout);
  return 0;
}

// ---- deny and allow -------------------------------------------------------------------------

int SetDenied(EmulatedPlatform& p, const std::string& op, const Args& args, bool denied) {
  KeyName name;
  std::string error;
  if (args.size() != 1) return Error(op, "usage: reg " + op + " KEY", kBadUsage);
  if (!ParseKeyName(args[0], &name, &error)) return Error(op, error, kBadUsage);
  if (!name.computer.empty() || name.path.empty()) {
    return Error(op, "the key must be below HKLM or HKCU of this computer", kBadUsage);
  }
  const Result r = p.emulated_registry().SetAccessDenied(name.root, name.path, denied);
  if (r != platform::kSuccess) return Error(op, name.display + ": " + Describe(r));
  std::fputs(kDone, stdout);
  return 0;
}

void PrintUsage() {
  std::fputs(
      "usage: ntbox reg OPERATION ...\n"
      "  query  KEY [/v NAME | /ve] [/s]\n"
      "  add    KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]\n"
      "  delete KEY [/v NAME | /ve | /va] [/f]\n"
      "  export KEY FILE [/y]\n"
      "  import FILE\n"
      "  deny   KEY    /  allow KEY\n"
      "KEY: [\\\\COMPUTER\\]HKLM|HKCU[\\PATH]; TYPE: REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ,\n"
      "REG_DWORD (decimal or 0x hex), REG_BINARY (hex digits).\n",
      stderr);
}

}  // namespace

int RunReg(const Args& args) {
  if (args.empty() || args[0] == "/?" || args[0] == "-h" || args[0] == "--help") {
    PrintUsage();
    return args.empty() ? kBadUsage : 0;
  }
  const std::string op = platform::AsciiLower(args[0]);
  static const char* const kOps[] = {"query", "add", "delete", "export", "import", "deny", "allow"};
  if (std::find(std::begin(kOps), std::end(kOps), op) == std::end(kOps)) {
    std::fprintf(stderr, "ntbox reg: unknown operation '%s'\n", args[0].c_str());
    PrintUsage();
    return kBadUsage;
  }
  std::string error;
  auto platform = OpenComputer(&error);
  if (!platform) return Error(op, error);
  const Args rest(args.begin() + 1, args.end());
  if (op == "query") return Query(*platform, rest);
  if (op == "add") return Add(*platform, rest);
  if (op == "delete") return Delete(*platform, rest);
  if (op == "export") return Export(*platform, rest);
  if (op == "import") return Import(*platform, rest);
  return SetDenied(*platform, op, rest, op == "deny");
}

}  // namespace ntbox
