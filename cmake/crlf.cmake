# cmake -DIN=SOURCE -DOUT=COPY -P crlf.cmake
# Copies a text file (ASCII or UTF-8) with every line ended by CR LF, whatever its own line ends.
file(READ "${IN}" text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${OUT}" "${text}")
