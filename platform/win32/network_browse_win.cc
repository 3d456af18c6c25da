// The network neighbourhood through WNetOpenEnumW, WNetEnumResourceW and WNetCloseEnum.

#include <windows.h>
#include <winnetwk.h>

#include <vector>

#include "platform/win32/wide_text_win.h"
#include "platform/win32/win32_parts.h"

namespace platform::win32 {
namespace {

std::u16string TextOf(const wchar_t* text) { return text ? FromWide(text) : std::u16string(); }

class Win32NetEnumeration : public NetEnumeration {
 public:
  explicit Win32NetEnumeration(HANDLE handle) : handle_(handle) {}
  ~Win32NetEnumeration() override { WNetCloseEnum(handle_); }

  [[nodiscard]] Result Next(uint32_t* count, uint32_t* buffer_size,
                            std::vector<NetResource>* out) override {
    if (count == nullptr || buffer_size == nullptr || out == nullptr) {
      return kErrorInvalidParameter;
    }
    // NETRESOURCEW records followed by their texts: aligned for the records.
    std::vector<uint64_t> buffer((*buffer_size + 7) / 8 + 1);
    DWORD entries = *count;
    DWORD size = *buffer_size;
    const DWORD r = WNetEnumResourceW(handle_, &entries, buffer.data(), &size);
    if (r == ERROR_MORE_DATA) {
      *buffer_size = size;
      *count = 0;
      return r;
    }
    if (r != NO_ERROR) {
      *count = 0;
      return r;
    }
    const auto* records = reinterpret_cast<const NETRESOURCEW*>(buffer.data());
    for (DWORD i = 0; i < entries; ++i) {
      const NETRESOURCEW& n = records[i];
      NetResource resource;
      resource.scope = n.dwScope;
      resource.type = n.dwType;
      resource.display_type = n.dwDisplayType;
      resource.usage = n.dwUsage;
      resource.local_name = TextOf(n.lpLocalName);
      resource.remote_name = TextOf(n.lpRemoteName);
      resource.comment = TextOf(n.lpComment);
      resource.provider = TextOf(n.lpProvider);
      out->push_back(std::move(resource));
    }
    *count = entries;
    return kSuccess;
  }

 private:
  HANDLE handle_;
};

class Win32NetworkBrowser : public NetworkBrowser {
 public:
  [[nodiscard]] Result OpenEnum(uint32_t scope, uint32_t type, uint32_t usage,
                                const NetResource* container,
                                std::unique_ptr<NetEnumeration>* out) override {
    // The texts must live until WNetOpenEnumW has copied what it needs.
    std::wstring local, remote, comment, provider;
    NETRESOURCEW start{};
    NETRESOURCEW* start_pointer = nullptr;
    if (container != nullptr) {
      local = ToWide(container->local_name);
      remote = ToWide(container->remote_name);
      comment = ToWide(container->comment);
      provider = ToWide(container->provider);
      start.dwScope = container->scope;
      start.dwType = container->type;
      start.dwDisplayType = container->display_type;
      start.dwUsage = container->usage;
      start.lpLocalName = local.empty() ? nullptr : local.data();
      start.lpRemoteName = remote.empty() ? nullptr : remote.data();
      start.lpComment = comment.empty() ? nullptr : comment.data();
      start.lpProvider = provider.empty() ? nullptr : provider.data();
      start_pointer = &start;
    }
    HANDLE handle = nullptr;
    const DWORD r = WNetOpenEnumW(scope, type, usage, start_pointer, &handle);
    if (r != NO_ERROR) return r;
    *out = std::make_unique<Win32NetEnumeration>(handle);
    return kSuccess;
  }
};

}  // namespace

std::unique_ptr<NetworkBrowser> MakeNetworkBrowser() {
  return std::make_unique<Win32NetworkBrowser>();
}

}  // namespace platform::win32
