// The web addresses the client opens: the pages of the Help menu and the about box, and the
// update service.
#ifndef CLIENT_AUXILIARY_WEB_ADDRESSES_H_
#define CLIENT_AUXILIARY_WEB_ADDRESSES_H_

#include <string>
#include <string_view>

#include "client/core/client_session.h"

namespace sentrel::client {

inline constexpr char16_t kProductSite[] = u"https://sentrel.brinmoor.com/";
inline constexpr char16_t kCommonArea[] = u"https://www.brinmoor.com/common/";
inline constexpr char16_t kMakerHome[] = u"https://www.brinmoor.com/";
inline constexpr char16_t kSupportRequestForm[] = u"https://www.brinmoor.com/support/request/";
inline constexpr char16_t kDefaultUpdateService[] = u"https://update.brinmoor.com/";

// The query the update service answers with the update document.
inline constexpr char16_t kUpdateQuery[] = u"CheckUpdate.asp?ProductSKU=Sentrel";
// The value of the user's client settings key that replaces kDefaultUpdateService (a mirror
// inside a company's network; the tests' local server).
inline constexpr char16_t kUpdateServiceValue[] = u"szUpdateService";

enum class WebPage {
  kHomepage,        // product site + language code
  kFaq,             // product site + language code + "/FAQ/"
  kSeminars,        // common area + language code + "/SeminarsOnline/"
  kRequestSupport,  // the support request form
  kMakerHome,       // the maker's home page
  kProductSite,     // the product site itself (about box)
};

// The page's address for a language. The code in the address is the language's when it is one
// of the five; any other code shows English texts, so it gets the English pages ("EN") too.
std::u16string WebAddress(WebPage page, std::u16string_view language);

// The update service's base address: szUpdateService of the user's client settings key when it
// is set there, else kDefaultUpdateService.
std::u16string UpdateServiceAddress(ClientSession& session);
// The address of the update document below a base address ("/" inserted where needed).
std::u16string UpdateDocumentAddress(std::u16string_view service);

}  // namespace sentrel::client

#endif  // CLIENT_AUXILIARY_WEB_ADDRESSES_H_
