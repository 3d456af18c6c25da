// Every value below a registry key, for tests that compare what a program left in the registry:
// "Subkey\\Name" (the key's own values without a prefix) -> type and data in hex. And the keys
// such tests set up and remove.
#ifndef TESTS_SUPPORT_REGISTRY_SNAPSHOT_H_
#define TESTS_SUPPORT_REGISTRY_SNAPSHOT_H_

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace testsupport {

using RegistrySnapshot = std::map<std::string, std::string>;

// The values below HKEY_LOCAL_MACHINE\path (empty when the key does not exist).
RegistrySnapshot SnapshotKey(platform::Platform& platform, std::u16string_view path);

// HKEY_LOCAL_MACHINE\path, created when missing; a test failure and null when it cannot be.
std::unique_ptr<platform::RegKey> MachineKey(platform::Platform& platform,
                                             std::u16string_view path);
// Deletes HKEY_LOCAL_MACHINE\path with everything below it.
[[nodiscard]] platform::Result DeleteMachineKey(platform::Platform& platform,
                                                std::u16string_view path);

// The REG_DWORD at "Subkey\\Name" of a snapshot, or -1 when it is absent, of another type or
// not 4 bytes long.
int64_t SnapshotDword(const RegistrySnapshot& snapshot, const std::string& name);

// The differences between two snapshots, one line each ("name: before -> after"), for failure
// messages.
std::string DescribeChanges(const RegistrySnapshot& before, const RegistrySnapshot& after);

}  // namespace testsupport

#endif  // TESTS_SUPPORT_REGISTRY_SNAPSHOT_H_
