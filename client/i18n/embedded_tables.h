// The message tables compiled into the program: the UTF-8 text of each messages_<code>.txt of
// this folder, generated at build time (cmake/EmbedMessageTables.cmake).
#ifndef CLIENT_I18N_EMBEDDED_TABLES_H_
#define CLIENT_I18N_EMBEDDED_TABLES_H_

#include <cstddef>

namespace sentrel::client {

struct EmbeddedTable {
  const char16_t* language;  // "EN", "DE", ...: the file name's code in upper case
  const char* file;          // the source file, for error messages
  const char* text;          // its UTF-8 text
};

extern const EmbeddedTable kEmbeddedTables[];
extern const size_t kEmbeddedTableCount;

}  // namespace sentrel::client

#endif  // CLIENT_I18N_EMBEDDED_TABLES_H_
