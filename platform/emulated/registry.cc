#include "platform/emulated/registry.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/text.h"

namespace platform::emulated {
namespace {

constexpr int64_t kLocalMachineId = 1;
constexpr int64_t kCurrentUserId = 2;
constexpr size_t kMaxKeyNameChars = 255;
constexpr size_t kMaxValueNameChars = 16383;
constexpr size_t kMaxPathDepth = 512;

std::string Utf8(std::u16string_view s) { return Utf16ToUtf8(s); }

// A name in upper case as UTF-8, the form names are compared in; ASCII without a detour.
std::string Upper8(std::u16string_view s) {
  std::string out(s.size(), '\0');
  for (size_t i = 0; i < s.size(); ++i) {
    const char16_t c = s[i];
    if (c >= 0x80) return Utf8(Upcase(s));
    out[i] = AsciiUpper(static_cast<char>(c));
  }
  return out;
}

// Splits a key path at backslashes, dropping empty components (a leading or doubled backslash).
std::vector<std::u16string> SplitPath(std::u16string_view path) {
  std::vector<std::u16string> parts;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t sep = path.find(u'\\', pos);
    if (sep == std::u16string_view::npos) sep = path.size();
    if (sep > pos) parts.emplace_back(path.substr(pos, sep - pos));
    pos = sep + 1;
  }
  return parts;
}

// The path as one text for comparing: upper case, components joined by single backslashes (the
// empty components SplitPath drops are dropped here too). Collapsed in the UTF-8 text, where a
// backslash byte is never part of another character.
std::string UpperPath(std::u16string_view path) {
  std::string text = Upper8(path);
  size_t kept = 0;
  for (const char c : text) {
    if (c == '\\' && (kept == 0 || text[kept - 1] == '\\')) continue;
    text[kept++] = c;
  }
  if (kept > 0 && text[kept - 1] == '\\') --kept;
  text.resize(kept);
  return text;
}

bool IsStringType(uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

class EmulatedRegKey : public RegKey {
 public:
  EmulatedRegKey(std::shared_ptr<Machine> machine, CodePage& code_page, int64_t id, bool writable)
      : machine_(std::move(machine)), code_page_(code_page), id_(id), writable_(writable) {}

  [[nodiscard]] Result OpenKey(std::u16string_view path, RegAccess access,
                               std::unique_ptr<RegKey>* out) override {
    try {
      RegistryCache::Answer a;
      const Result r = CachedRead('O', UpperPath(path), &a, [&](RegistryCache::Answer* answer) {
        const auto parts = SplitPath(path);
        for (const auto& part : parts) {
          if (part.size() > kMaxKeyNameChars) return kErrorInvalidParameter;
        }
        answer->id = id_;
        return ResolvePath(parts, &answer->id);
      });
      if (r != kSuccess) return r;
      *out = Make(a.id, access == RegAccess::kReadWrite);
      return kSuccess;
    } catch (const DbError&) {
      return kErrorInvalidData;
    }
  }

  [[nodiscard]] Result CreateKey(std::u16string_view path, std::unique_ptr<RegKey>* out,
                                 bool* created) override {
    auto parts = SplitPath(path);
    if (parts.size() > kMaxPathDepth) return kErrorInvalidParameter;
    for (const auto& part : parts) {
      if (part.size() > kMaxKeyNameChars) return kErrorInvalidParameter;
    }
    try {
      Transaction t(db(), Transaction::kWrite);
      if (!Exists(id_)) return kErrorKeyDeleted;
      int64_t id = id_;
      bool made = false;
      for (const auto& part : parts) {
        bool denied = false;
        made = false;
        int64_t child = 0;
        if (FindChild(id, part, &child, &denied)) {
          if (denied) return kErrorAccessDenied;
          id = child;
          continue;
        }
        if (!writable_ && id == id_) return kErrorAccessDenied;
        db().NoteSharedChange();
        const int64_t new_id = NewKeyId();
        Statement(db(), "INSERT INTO reg_key(id, parent, name, upper) VALUES(?, ?, ?, ?)")
            .Bind(1, new_id)
            .Bind(2, id)
            .Bind(3, Utf8(part))
            .Bind(4, Upper8(part))
            .Step();
        id = new_id;
        made = true;
      }
      t.Commit();
      if (created) *created = made;
      *out = Make(id, true);
      return kSuccess;
    } catch (const DbError&) {
      return kErrorInvalidData;
    }
  }

  [[nodiscard]] Result DeleteKey(std::u16string_view path) override {
    auto parts = SplitPath(path);
    if (parts.empty()) return kErrorInvalidParameter;
    try {
      Transaction t(db(), Transaction::kWrite);
      if (!Exists(id_)) return kErrorKeyDeleted;
      int64_t id = id_;
      for (const auto& part : parts) {
        bool denied = false;
        if (!FindChild(id, part, &id, &denied)) return kErrorFileNotFound;
        if (denied) return kErrorAccessDenied;
      }
      Statement children(db(), "SELECT 1 FROM reg_key WHERE parent = ? LIMIT 1");
      if (children.Bind(1, id).Step()) return kErrorAccessDenied;
      db().NoteSharedChange();
      Statement(db(), "DELETE FROM reg_value WHERE key = ?").Bind(1, id).Step();
      Statement(db(), "DELETE FROM reg_key WHERE id = ?").Bind(1, id).Step();
      t.Commit();
      return kSuccess;
    } catch (const DbError&) {
      return kErrorInvalidData;
    }
  }

  [[nodiscard]] Result EnumKey(uint32_t index, size_t max_chars, std::u16string* name) override {
    try {
      RegistryCache::Answer a;
      const Result r =
          CachedRead('K', std::to_string(index), &a, [&](RegistryCache::Answer* answer) {
            Statement s(
                db(), "SELECT name FROM reg_key WHERE parent = ? ORDER BY upper LIMIT 1 OFFSET ?");
            if (!s.Bind(1, id_).Bind(2, index).Step()) return kErrorNoMoreItems;
            answer->name = Utf8ToUtf16(s.Text(0));
            return kSuccess;
          });
      if (r != kSuccess) return r;
      if (a.name.size() + 1 > max_chars) return kErrorMoreData;
      *name = std::move(a.name);
      return kSuccess;
    } catch (const DbError&) {
      return kErrorInvalidData;
    }
  }

  [[nodiscard]] Result EnumValue(uint32_t index, std::u16string* name, uint32_t* type,
                                 std::vector<uint8_t>* data) override {
    try {
      RegistryCache::Answer a;
      const Result r =
          CachedRead('E', std::to_string(index), &a, [&](RegistryCache::Answer* answer) {
            Statement s(db(),
                        "SELECT name, type, data FROM reg_value WHERE key = ? ORDER BY seq "
                        "LIMIT 1 OFFSET ?");
            if (!s.Bind(1, id_).Bind(2, index).Step()) return kErrorNoMoreItems;
            answer->name = Utf8ToUtf16(s.Text(0));
            answer->type = static_cast<uint32_t>(s.Int(1));
            answer->data = s.Blob(2);
            return kSuccess;
          });
      if (r != kSuccess) return r;
      if (name) *name = std::move(a.name);
      if (type) *type = a.type;
      if (data) *data = std::move(a.data);
      return kSuccess;
    } catch (const DbError&) {
      return kErrorInvalidData;
    }
  }

  [[nodiscard]] Result QueryValue(std::u16string_view name, uint32_t* type, void* data,
                                  uint32_t* size) override {
    std::vector<uint8_t> stored;
    uint32_t stored_type = 0;
    Result r = Load(name, &stored_type, &stored);
    if (r != kSuccess) return r;
    return Deliver(stored_type, stored, type, data, size);
  }

  [[nodiscard]] Result QueryValueAnsi(std::u16string_view name, uint32_t* type, void* data,
                                      uint32_t* size) override {
    std::vector<uint8_t> stored;
    uint32_t stored_type = 0;
    Result r = Load(name, &stored_type, &stored);
    if (r != kSuccess) return r;
    if (IsStringType(stored_type)) {
      std::u16string wide(stored.size() / 2, u'\0');
      if (!wide.empty()) std::memcpy(wide.data(), stored.data(), wide.size() * 2);
      std::string narrow = code_page_.WideToAnsi(wide);
      stored.assign(narrow.begin(), narrow.end());
    }
    return Deliver(stored_type, stored, type, data, size);
  }

  [[nodiscard]] Result SetValue(std::u16string_view name, uint32_t type, const void* data,
                                uint32_t size) override {
    if (name.size() > kMaxValueNameChars || (!data && size)) return kErrorInvalidParameter;
    if (!writable_) return kErrorAccessDenied;
    try {
      Transaction t(db(), Transaction::kWrite);
      if (!Exists(id_)) return kErrorKeyDeleted;
      db().NoteSharedChange();
      const std::string upper = Upper8(name);
      Statement existing(db(), "SELECT seq FROM reg_value WHERE key = ? AND upper = ?");
      int64_t seq;
      if (existing.Bind(1, id_).Bind(2, upper).Step()) {
        seq = existing.Int(0);
      } else {
        Statement next(db(), "SELECT COALESCE(MAX(seq), 0) + 1 FROM reg_value WHERE key = ?");
        next.Bind(1, id_).Step();
        seq = next.Int(0);
      }
      // A value keeps the name it was first created with, as on Windows.
      Statement(db(),
                "INSERT INTO reg_value(key, name, upper, type, data, seq) VALUES(?, ?, ?, ?, ?, ?) "
                "ON CONFLICT(key, upper) DO UPDATE SET type = excluded.type, data = excluded.data")
          .Bind(1, id_)
          .Bind(2, Utf8(name))
          .Bind(3, upper)
          .Bind(4, type)
          .BindBlob(5, data, size)
          .Bind(6, seq)
          .Step();
      t.Commit();
      return kSuccess;
    } catch (const DbError&) {
      return kErrorInvalidData;
    }
  }

  [[nodiscard]] Result SetValueAnsi(std::u16string_view name, uint32_t type,
                                    std::string_view text) override {
    std::u16string wide = code_page_.AnsiToWide(text);
    wide.push_back(u'\0');
    return SetValue(name, type, wide.data(), static_cast<uint32_t>(wide.size() * 2));
  }

  [[nodiscard]] Result DeleteValue(std::u16string_view name) override {
    if (!writable_) return kErrorAccessDenied;
    try {
      Transaction t(db(), Transaction::kWrite);
      if (!Exists(id_)) return kErrorKeyDeleted;
      db().NoteSharedChange();
      Statement s(db(), "DELETE FROM reg_value WHERE key = ? AND upper = ?");
      s.Bind(1, id_).Bind(2, Upper8(name)).Step();
      if (sqlite3_changes(db().handle()) == 0) return kErrorFileNotFound;
      t.Commit();
      return kSuccess;
    } catch (const DbError&) {
      return kErrorInvalidData;
    }
  }

 private:
  Database& db() { return machine_->db(); }
  RegistryCache& cache() { return machine_->registry_cache(); }

  // Names a read of this key in the cache: its kind, the key and what the read asks for.
  std::string CacheKey(char kind, std::string_view what) const {
    std::string key(1, kind);
    key.reserve(24 + what.size());
    key += std::to_string(id_);
    key += '\\';
    key += what;
    return key;
  }

  // A read of this key through the cache, named there by `kind` and `what`: in a read
  // transaction, kErrorKeyDeleted once the key is gone, else what `read` answers (it fills in
  // the rest of the answer).
  template <typename Read>
  [[nodiscard]] Result CachedRead(char kind, std::string_view what, RegistryCache::Answer* a,
                                  Read read) {
    return cache().Get(CacheKey(kind, what), a, [&](RegistryCache::Answer* answer) {
      Transaction t(db(), Transaction::kRead);
      answer->result = Exists(id_) ? read(answer) : kErrorKeyDeleted;
    });
  }

  std::unique_ptr<RegKey> Make(int64_t id, bool writable) {
    return std::make_unique<EmulatedRegKey>(machine_, code_page_, id, writable);
  }

  // A key id never used before, so that a handle to a deleted key can never reach a key made
  // later (SQLite would hand out the deleted key's rowid again). Call inside a write transaction.
  int64_t NewKeyId() {
    Statement used(db(), "SELECT COALESCE(MAX(id), 0) + 1 FROM reg_key");
    used.Step();
    int64_t next = used.Int(0);
    Statement kept(db(), "SELECT value FROM meta WHERE key = 'reg_next_key'");
    if (kept.Step())
      next = std::max<int64_t>(next, std::strtoll(kept.Text(0).c_str(), nullptr, 10));
    Statement(db(),
              "INSERT INTO meta(key, value) VALUES('reg_next_key', ?) "
              "ON CONFLICT(key) DO UPDATE SET value = excluded.value")
        .Bind(1, std::to_string(next + 1))
        .Step();
    return next;
  }

  bool Exists(int64_t id) {
    if (id == kLocalMachineId || id == kCurrentUserId) return true;
    Statement s(db(), "SELECT 1 FROM reg_key WHERE id = ?");
    return s.Bind(1, id).Step();
  }

  // Walks `parts` down from *id, up to kLevelsPerQuery keys with one query (a join per level on
  // the (parent, upper) index): a deep path costs one statement, not one per key. Answers
  // kErrorFileNotFound at the first missing key and kErrorAccessDenied at the first denied one.
  [[nodiscard]] Result ResolvePath(const std::vector<std::u16string>& parts, int64_t* id) {
    constexpr size_t kLevelsPerQuery = 8;
    for (size_t first = 0; first < parts.size(); first += kLevelsPerQuery) {
      const size_t levels = std::min(kLevelsPerQuery, parts.size() - first);
      std::string sql = "SELECT k1.id, k1.denied";
      for (size_t i = 2; i <= levels; ++i) {
        sql += ", k" + std::to_string(i) + ".id, k" + std::to_string(i) + ".denied";
      }
      sql += " FROM reg_key k1";
      for (size_t i = 2; i <= levels; ++i) {
        const std::string k = "k" + std::to_string(i);
        sql += " LEFT JOIN reg_key " + k + " ON " + k + ".parent = k" + std::to_string(i - 1) +
               ".id AND " + k + ".upper = ?" + std::to_string(i + 1);
      }
      sql += " WHERE k1.parent = ?1 AND k1.upper = ?2";
      Statement s(db(), sql);
      s.Bind(1, *id);
      for (size_t i = 0; i < levels; ++i) {
        s.Bind(static_cast<int>(i + 2), Upper8(parts[first + i]));
      }
      if (!s.Step()) return kErrorFileNotFound;
      for (size_t i = 0; i < levels; ++i) {
        const int column = static_cast<int>(2 * i);
        if (s.IsNull(column)) return kErrorFileNotFound;
        if (s.Int(column + 1) != 0) return kErrorAccessDenied;
        *id = s.Int(column);
      }
    }
    return kSuccess;
  }

  bool FindChild(int64_t parent, std::u16string_view name, int64_t* id, bool* denied) {
    Statement s(db(), "SELECT id, denied FROM reg_key WHERE parent = ? AND upper = ?");
    if (!s.Bind(1, parent).Bind(2, Upper8(name)).Step()) return false;
    *id = s.Int(0);
    *denied = s.Int(1) != 0;
    return true;
  }

  [[nodiscard]] Result Load(std::u16string_view name, uint32_t* type, std::vector<uint8_t>* data) {
    try {
      RegistryCache::Answer a;
      const std::string upper = Upper8(name);
      const Result r = CachedRead('V', upper, &a, [&](RegistryCache::Answer* answer) {
        Statement s(db(), "SELECT type, data FROM reg_value WHERE key = ? AND upper = ?");
        if (!s.Bind(1, id_).Bind(2, upper).Step()) return kErrorFileNotFound;
        answer->type = static_cast<uint32_t>(s.Int(0));
        answer->data = s.Blob(1);
        return kSuccess;
      });
      if (r != kSuccess) return r;
      *type = a.type;
      *data = std::move(a.data);
      return kSuccess;
    } catch (const DbError&) {
      return kErrorInvalidData;
    }
  }

  // The RegQueryValueEx buffer contract: size only when `data` is null, kErrorMoreData with the
  // size needed when the buffer is too small.
  [[nodiscard]] static Result Deliver(uint32_t stored_type, const std::vector<uint8_t>& stored,
                                      uint32_t* type, void* data, uint32_t* size) {
    if (type) *type = stored_type;
    const uint32_t needed = static_cast<uint32_t>(stored.size());
    if (!size) return data ? kErrorInvalidParameter : kSuccess;
    if (!data) {
      *size = needed;
      return kSuccess;
    }
    if (*size < needed) {
      *size = needed;
      return kErrorMoreData;
    }
    if (needed) std::memcpy(data, stored.data(), needed);
    *size = needed;
    return kSuccess;
  }

  std::shared_ptr<Machine> machine_;
  CodePage& code_page_;
  int64_t id_;
  bool writable_;
};

}  // namespace

char16_t UpcaseChar(char16_t c) {
  if (c >= u'a' && c <= u'z') return c - 0x20;
  if (c < 0x80) return c;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17E && (c & 1) && c != 0x131 && c != 0x138 && c != 0x149 &&
      !(c >= 0x139 && c <= 0x148) && !(c >= 0x179 && c <= 0x17E)) {
    return c - 1;
  }
  if (((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) && !(c & 1)) return c - 1;
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 0x20;
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  if (c >= 0xFF41 && c <= 0xFF5A) return c - 0x20;
  return c;
}

std::u16string Upcase(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = UpcaseChar(c);
  return out;
}

EmulatedRegistry::EmulatedRegistry(std::shared_ptr<Machine> machine, CodePage& code_page)
    : machine_(std::move(machine)), code_page_(code_page) {}

Result EmulatedRegistry::OpenRoot(RegRoot root, std::unique_ptr<RegKey>* out) {
  *out = std::make_unique<EmulatedRegKey>(
      machine_, code_page_, root == RegRoot::kLocalMachine ? kLocalMachineId : kCurrentUserId,
      true);
  return kSuccess;
}

Result EmulatedRegistry::Connect(std::u16string_view computer, RegRoot root,
                                 std::unique_ptr<RegKey>* out) {
  std::u16string name(computer);
  while (!name.empty() && name[0] == u'\\') name.erase(0, 1);
  if (name.empty()) return OpenRoot(root, out);
  // Our own name is the local computer.
  std::unique_ptr<RegKey> hklm;
  if (const Result r = OpenRoot(RegRoot::kLocalMachine, &hklm); r != kSuccess) return r;
  std::unique_ptr<RegKey> key;
  std::u16string own;
  if (hklm->OpenKey(u"SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName",
                    RegAccess::kRead, &key) == kSuccess &&
      QueryString(*key, u"ComputerName", &own) == kSuccess && Upcase(own) == Upcase(name)) {
    return OpenRoot(root, out);
  }
  // Only HKEY_LOCAL_MACHINE (and HKEY_USERS) can be reached remotely on Windows.
  if (root != RegRoot::kLocalMachine) return kErrorInvalidHandle;
  const std::string dir = machine_->SiblingDir(name);
  if (dir.empty()) return kErrorBadNetpath;
  std::string error;
  auto remote = Machine::Open(dir, &error);
  if (!remote) return kErrorBadNetpath;
  *out = std::make_unique<EmulatedRegKey>(remote, code_page_, kLocalMachineId, true);
  return kSuccess;
}

Result EmulatedRegistry::SetAccessDenied(RegRoot root, std::u16string_view path, bool denied) {
  auto parts = SplitPath(path);
  if (parts.empty()) return kErrorInvalidParameter;
  try {
    Transaction t(machine_->db(), Transaction::kWrite);
    int64_t id = root == RegRoot::kLocalMachine ? kLocalMachineId : kCurrentUserId;
    for (const auto& part : parts) {
      Statement s(machine_->db(), "SELECT id FROM reg_key WHERE parent = ? AND upper = ?");
      if (!s.Bind(1, id).Bind(2, Upper8(part)).Step()) return kErrorFileNotFound;
      id = s.Int(0);
    }
    machine_->db().NoteSharedChange();
    Statement(machine_->db(), "UPDATE reg_key SET denied = ? WHERE id = ?")
        .Bind(1, denied ? 1 : 0)
        .Bind(2, id)
        .Step();
    t.Commit();
    return kSuccess;
  } catch (const DbError&) {
    return kErrorInvalidData;
  }
}

}  // namespace platform::emulated
