// The update document the update service answers with, read by Qt's XML parser:
//
//   <Update><ProductSKU>Sentrel</ProductSKU><VersionMajor>5</VersionMajor>
//     <VersionMinor>4</VersionMinor><VersionBuild>166</VersionBuild>
//     <InfoUrl>https://...</InfoUrl><isBetaBuild>0</isBetaBuild></Update>
//
// The elements may stand anywhere in the document; the first of each name counts.
#ifndef CLIENT_AUXILIARY_UI_UPDATE_DOCUMENT_H_
#define CLIENT_AUXILIARY_UI_UPDATE_DOCUMENT_H_

#include <QByteArray>
#include <QString>

#include "client/auxiliary/update_rule.h"

namespace sentrel::client {

// Parses the whole document. False with the reason in *reason when it is not well-formed XML
// (the parser's message, line and column), or when one of the three version numbers is missing
// or not a decimal number of 32 bits. A missing ProductSKU or InfoUrl reads as empty, a missing
// isBetaBuild as no beta; only an isBetaBuild of 1 marks a beta.
bool ParseUpdateDocument(const QByteArray& document, UpdateInfo* info, QString* reason);

}  // namespace sentrel::client

#endif  // CLIENT_AUXILIARY_UI_UPDATE_DOCUMENT_H_
