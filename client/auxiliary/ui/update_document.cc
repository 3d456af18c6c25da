#include "client/auxiliary/ui/update_document.h"

#include <QMap>
#include <QXmlStreamReader>
#include <algorithm>
#include <array>

namespace sentrel::client {
namespace {

constexpr std::array<const char*, 6> kElements = {
    "ProductSKU", "VersionMajor", "VersionMinor", "VersionBuild", "InfoUrl", "isBetaBuild",
};

bool ParseNumber(const QMap<QString, QString>& found, const char* name, int32_t* out,
                 QString* reason) {
  const QString key = QString::fromLatin1(name);
  if (!found.contains(key)) {
    *reason = QStringLiteral("The element %1 is missing.").arg(key);
    return false;
  }
  const QString text = found.value(key).trimmed();
  bool ok = false;
  const int value = text.toInt(&ok, 10);
  if (!ok) {
    *reason = QStringLiteral("The element %1 holds \"%2\", which is not a number.").arg(key, text);
    return false;
  }
  *out = value;
  return true;
}

}  // namespace

bool ParseUpdateDocument(const QByteArray& document, UpdateInfo* info, QString* reason) {
  QXmlStreamReader reader(document);
  QMap<QString, QString> found;  // the text of the first element of each name
  while (!reader.atEnd()) {
    if (reader.readNext() != QXmlStreamReader::StartElement) continue;
    const QString name = reader.name().toString();
    const bool wanted = std::any_of(kElements.begin(), kElements.end(),
                                    [&](const char* e) { return name == QLatin1String(e); });
    if (!wanted) continue;  // a container: its children come next
    // The element's text, up to its end (text inside child elements included).
    const QString text = reader.readElementText(QXmlStreamReader::IncludeChildElements);
    if (!found.contains(name)) found.insert(name, text);
  }
  if (reader.hasError()) {
    *reason = QStringLiteral("%1 (line %2, column %3)")
                  .arg(reader.errorString())
                  .arg(reader.lineNumber())
                  .arg(reader.columnNumber());
    return false;
  }
  UpdateInfo parsed;
  if (!ParseNumber(found, "VersionMajor", &parsed.version.major, reason) ||
      !ParseNumber(found, "VersionMinor", &parsed.version.minor, reason) ||
      !ParseNumber(found, "VersionBuild", &parsed.version.build, reason)) {
    return false;
  }
  parsed.product_sku = found.value(QStringLiteral("ProductSKU")).trimmed().toStdU16String();
  parsed.info_url = found.value(QStringLiteral("InfoUrl")).trimmed().toStdU16String();
  bool ok = false;
  parsed.beta = found.value(QStringLiteral("isBetaBuild")).trimmed().toInt(&ok) == 1 && ok;
  *info = std::move(parsed);
  return true;
}

}  // namespace sentrel::client
