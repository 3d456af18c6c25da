#include "tests/support/registry_snapshot.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "platform/code_page.h"

namespace testsupport {
namespace {

void Walk(platform::RegKey& key, const std::string& prefix, RegistrySnapshot* out) {
  std::u16string name;
  uint32_t type = 0;
  std::vector<uint8_t> data;
  for (uint32_t i = 0; key.EnumValue(i, &name, &type, &data) == platform::kSuccess; ++i) {
    std::string text = std::to_string(type) + ":";
    char hex[3];
    for (uint8_t byte : data) {
      std::snprintf(hex, sizeof hex, "%02x", byte);
      text += hex;
    }
    (*out)[prefix + platform::Utf16ToUtf8(name)] = text;
  }
  for (uint32_t i = 0; key.EnumKey(i, 16384, &name) == platform::kSuccess; ++i) {
    std::unique_ptr<platform::RegKey> child;
    if (key.OpenKey(name, platform::RegAccess::kRead, &child) == platform::kSuccess) {
      Walk(*child, prefix + platform::Utf16ToUtf8(name) + "\\", out);
    }
  }
}

}  // namespace

std::unique_ptr<platform::RegKey> MachineKey(platform::Platform& platform,
                                             std::u16string_view path) {
  std::unique_ptr<platform::RegKey> root, key;
  EXPECT_EQ(platform.registry().OpenRoot(platform::RegRoot::kLocalMachine, &root),
            platform::kSuccess);
  if (root) {
    EXPECT_EQ(root->CreateKey(path, &key), platform::kSuccess);
  }
  return key;
}

platform::Result DeleteMachineKey(platform::Platform& platform, std::u16string_view path) {
  std::unique_ptr<platform::RegKey> root;
  const platform::Result r = platform.registry().OpenRoot(platform::RegRoot::kLocalMachine, &root);
  return r == platform::kSuccess ? platform::DeleteKeyTree(*root, path) : r;
}

RegistrySnapshot SnapshotKey(platform::Platform& platform, std::u16string_view path) {
  RegistrySnapshot snapshot;
  std::unique_ptr<platform::RegKey> root, key;
  if (platform.registry().OpenRoot(platform::RegRoot::kLocalMachine, &root) != platform::kSuccess ||
      root->OpenKey(path, platform::RegAccess::kRead, &key) != platform::kSuccess) {
    return snapshot;
  }
  Walk(*key, "", &snapshot);
  return snapshot;
}

int64_t SnapshotDword(const RegistrySnapshot& snapshot, const std::string& name) {
  const std::string type = std::to_string(platform::kRegDword) + ":";
  const auto it = snapshot.find(name);
  if (it == snapshot.end() || !it->second.starts_with(type)) return -1;
  const std::string hex = it->second.substr(type.size());  // least significant byte first
  if (hex.size() != 8) return -1;
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) {
    value = value << 8 | static_cast<uint32_t>(std::stoul(hex.substr(i * 2, 2), nullptr, 16));
  }
  return value;
}

std::string DescribeChanges(const RegistrySnapshot& before, const RegistrySnapshot& after) {
  std::string text;
  auto value = [](const RegistrySnapshot& s, const std::string& name) {
    auto it = s.find(name);
    return it == s.end() ? std::string("(absent)") : it->second;
  };
  RegistrySnapshot names = before;
  names.insert(after.begin(), after.end());
  for (const auto& [name, ignored] : names) {
    if (value(before, name) != value(after, name)) {
      text += name + ": " + value(before, name) + " -> " + value(after, name) + "\n";
    }
  }
  return text;
}

}  // namespace testsupport
