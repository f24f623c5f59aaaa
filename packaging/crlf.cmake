# cmake -DIN=file -DOUT=file -P crlf.cmake: a copy of IN with CR LF line ends.
file(READ ${IN} text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUT} "${text}")
