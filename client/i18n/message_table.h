// One language's message table: message number -> text, read from the text form a translator
// edits (messages_<code>.txt):
//
//   # a comment line; blank lines are skipped
//   0 "Syslog Server"
//   173 "Can't open Parameters key.\r\nClick "File/Install Service" if ..."
//
// A line is the number (decimal, optionally negative), blanks, and the text between the first
// and the last double quote of the line, so quotes inside need no escape and leading or trailing
// blanks of a text stay visible. Escapes: \r, \n, \t and \\. Nothing but blanks may follow the
// closing quote.
#ifndef CLIENT_I18N_MESSAGE_TABLE_H_
#define CLIENT_I18N_MESSAGE_TABLE_H_

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel::client {

using MessageTable = std::map<int32_t, std::u16string>;

// Parses a whole table. On a bad line, a number given twice or a number out of the 32-bit range
// it returns false with "line N: reason" in *error and leaves *out unspecified.
bool ParseMessageTable(std::string_view utf8, MessageTable* out, std::string* error);

// Parses what it can: a bad line is left out and a number given again keeps its first text, each
// described in *problems (may be null) as "line N: reason". The program loads its tables this
// way, so one broken entry costs only that entry (it reads as a missing message).
void ParseMessageTableLenient(std::string_view utf8, MessageTable* out,
                              std::vector<std::string>* problems);

}  // namespace sentrel::client

#endif  // CLIENT_I18N_MESSAGE_TABLE_H_
