#include "client/auxiliary/web_addresses.h"

#include "client/i18n/languages.h"

namespace sentrel::client {

std::u16string WebAddress(WebPage page, std::u16string_view language) {
  const std::u16string code(LanguageIndex(language) ? language : kEnglishCode);
  switch (page) {
    case WebPage::kHomepage:
      return kProductSite + code;
    case WebPage::kFaq:
      return kProductSite + code + u"/FAQ/";
    case WebPage::kSeminars:
      return kCommonArea + code + u"/SeminarsOnline/";
    case WebPage::kRequestSupport:
      return kSupportRequestForm;
    case WebPage::kMakerHome:
      return kMakerHome;
    case WebPage::kProductSite:
      return kProductSite;
  }
  return kProductSite;
}

std::u16string UpdateServiceAddress(ClientSession& session) {
  if (!session.connection().client_settings()) return kDefaultUpdateService;
  std::u16string address;
  (void)session.registry().ReadRegString(session.connection().client_settings(),
                                         kUpdateServiceValue, &address, kDefaultUpdateService);
  return address.empty() ? std::u16string(kDefaultUpdateService) : address;
}

std::u16string UpdateDocumentAddress(std::u16string_view service) {
  std::u16string address(service);
  if (address.empty() || address.back() != u'/') address += u'/';
  return address + kUpdateQuery;
}

}  // namespace sentrel::client
