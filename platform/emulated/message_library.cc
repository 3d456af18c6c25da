#include "platform/emulated/message_library.h"

#include <utility>

#include "platform/emulated/format_message.h"
#include "platform/emulated/pe_message_table.h"

namespace platform::emulated {
namespace {

struct SystemMessage {
  uint32_t code;
  std::u16string_view text;
};

// English texts of the system's message table for the codes the programs meet.
constexpr SystemMessage kSystemMessages[] = {
    {0, u"The operation completed successfully.\r\n"},
    {2, u"The system cannot find the file specified.\r\n"},
    {3, u"The system cannot find the path specified.\r\n"},
    {5, u"Access is denied.\r\n"},
    {6, u"The handle is invalid.\r\n"},
    {8, u"Not enough memory resources are available to process this command.\r\n"},
    {11, u"An attempt was made to load a program with an incorrect format.\r\n"},
    {13, u"The data is invalid.\r\n"},
    {38, u"Reached the end of the file.\r\n"},
    {53, u"The network path was not found.\r\n"},
    {87, u"The parameter is incorrect.\r\n"},
    {122, u"The data area passed to a system call is too small.\r\n"},
    {123, u"The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {126, u"The specified module could not be found.\r\n"},
    {193, u"%1 is not a valid Win32 application.\r\n"},
    {234, u"More data is available.\r\n"},
    {259, u"No more data is available.\r\n"},
    {317,
     u"The system cannot find message text for message number 0x%1 in the message file for "
     u"%2.\r\n"},
    {1009, u"The configuration registry database is corrupt.\r\n"},
    {1010, u"The configuration registry key is invalid.\r\n"},
    {1011, u"The configuration registry key could not be opened.\r\n"},
    {1012, u"The configuration registry key could not be read.\r\n"},
    {1013, u"The configuration registry key could not be written.\r\n"},
    {1018,
     u"Illegal operation attempted on a registry key that has been marked for deletion.\r\n"},
    {1051,
     u"A stop control has been sent to a service that other running services are dependent "
     u"on.\r\n"},
    {1052, u"The requested control is not valid for this service.\r\n"},
    {1053, u"The service did not respond to the start or control request in a timely fashion.\r\n"},
    {1054, u"A thread could not be created for the service.\r\n"},
    {1056, u"An instance of the service is already running.\r\n"},
    {1058,
     u"The service cannot be started, either because it is disabled or because it has no "
     u"enabled devices associated with it.\r\n"},
    {1060, u"The specified service does not exist as an installed service.\r\n"},
    {1061, u"The service cannot accept control messages at this time.\r\n"},
    {1062, u"The service has not been started.\r\n"},
    {1063, u"The service process could not connect to the service controller.\r\n"},
    {1066, u"The service has returned a service-specific error code.\r\n"},
    {1067, u"The process terminated unexpectedly.\r\n"},
    {1072, u"The specified service has been marked for deletion.\r\n"},
    {1073, u"The specified service already exists.\r\n"},
    {1083,
     u"The executable program that this service is configured to run in does not implement "
     u"the service.\r\n"},
    {1332, u"No mapping between account names and security IDs was done.\r\n"},
    {1813, u"The specified resource type cannot be found in the image file.\r\n"},
    {1815, u"The specified resource language ID cannot be found in the image file.\r\n"},
    {10060,
     u"A connection attempt failed because the connected party did not properly respond after "
     u"a period of time, or established connection failed because connected host has failed to "
     u"respond.\r\n"},
    {10061, u"No connection could be made because the target machine actively refused it.\r\n"},
    {11001, u"No such host is known.\r\n"},
    {11004, u"The requested name is valid, but no data of the requested type was found.\r\n"},
};

// A loaded module: the file's bytes and the message tables found in them.
class EmulatedMessageModule final : public MessageModule {
 public:
  explicit EmulatedMessageModule(FileImage file) : file_(std::move(file)) {}
  Result Parse() { return PeMessageTable::Parse(file_.bytes(), &table_); }
  const PeMessageTable& table() const { return table_; }

 private:
  FileImage file_;  // the bytes table_ points into
  PeMessageTable table_;
};

[[nodiscard]] Result FindSystemTemplate(uint32_t message_id, uint32_t language,
                                        std::u16string* out) {
  if (language != 0 && language != kLangUserDefault && language != kLangEnglishUs) {
    return kErrorResourceLangNotFound;
  }
  const std::u16string_view text = SystemMessageText(message_id);
  if (text.empty()) return kErrorMrMidNotFound;
  *out = std::u16string(text);
  return kSuccess;
}

[[nodiscard]] Result FindTemplate(uint32_t flags, const MessageModule* module, uint32_t message_id,
                                  uint32_t language, std::u16string* out) {
  if (flags & kFormatMessageFromString) return kErrorInvalidParameter;
  const bool from_system = (flags & kFormatMessageFromSystem) != 0;
  if ((flags & kFormatMessageFromHmodule) && module != nullptr) {
    const auto* ours = dynamic_cast<const EmulatedMessageModule*>(module);
    if (ours == nullptr) return kErrorInvalidHandle;
    if (language > 0xffff) return kErrorResourceLangNotFound;
    MessageText found;
    const Result r = ours->table().Find(message_id, static_cast<uint16_t>(language), &found);
    if (r == kSuccess) {
      *out = std::move(found.text);
      return kSuccess;
    }
    if (!from_system || (r != kErrorMrMidNotFound && r != kErrorResourceTypeNotFound)) return r;
  } else if (!from_system) {
    // FROM_HMODULE with no module searches the process's own image, which has no messages.
    return (flags & kFormatMessageFromHmodule) ? kErrorResourceTypeNotFound
                                               : kErrorInvalidParameter;
  }
  return FindSystemTemplate(message_id, language, out);
}

}  // namespace

std::u16string_view SystemMessageText(uint32_t code) {
  for (const SystemMessage& m : kSystemMessages) {
    if (m.code == code) return m.text;
  }
  return {};
}

EmulatedMessageLibrary::EmulatedMessageLibrary(PathMapper map_path)
    : map_path_(std::move(map_path)) {}

Result EmulatedMessageLibrary::Load(std::u16string_view path, uint32_t flags,
                                    std::unique_ptr<MessageModule>* out) {
  out->reset();
  // Loaded as a data file, a module is a file that is opened and mapped, and a missing one
  // answers as a missing file does; a module loaded to run is looked up as a module.
  const Result missing = (flags & kLoadLibraryAsDatafile) ? kErrorFileNotFound : kErrorModNotFound;
  const std::string host_path = map_path_ ? map_path_(path) : std::string();
  if (host_path.empty()) return missing;
  FileImage file;
  Result r = FileImage::Open(host_path, &file);
  if (r == kErrorModNotFound) return missing;
  if (r != kSuccess) return r;
  // Parsed where the bytes stay: the table points into them.
  auto module = std::make_unique<EmulatedMessageModule>(std::move(file));
  r = module->Parse();
  if (r != kSuccess) return r;
  *out = std::move(module);
  return kSuccess;
}

Result EmulatedMessageLibrary::Format(uint32_t flags, const MessageModule* module,
                                      uint32_t message_id, uint32_t language, const uintptr_t* args,
                                      size_t arg_count, size_t size, std::u16string* out) {
  out->clear();
  std::u16string pattern;
  Result r = FindTemplate(flags, module, message_id, language, &pattern);
  if (r != kSuccess) return r;
  std::u16string text;
  r = FormatMessageTemplate(pattern, flags, args, arg_count, &text);
  if (r != kSuccess) return r;
  r = CheckFormatBufferSize(flags, size, text.size());
  if (r != kSuccess) return r;
  *out = std::move(text);
  return kSuccess;
}

}  // namespace platform::emulated
