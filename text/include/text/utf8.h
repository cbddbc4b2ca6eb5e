// UTF-8 decoding for text read from files and drivers, which may hold any
// bytes at all.
#ifndef TEXT_UTF8_H
#define TEXT_UTF8_H

#include <string>

// Decodes UTF-8 into code points. A byte that does not start a well-formed
// sequence (a stray continuation byte, a truncated or overlong sequence, an
// encoded surrogate, a value past U+10FFFF) becomes one replacement, and
// decoding goes on at the next byte; nothing else is changed or dropped.
std::u32string DecodeUtf8(const std::string &bytes, char32_t replacement);

#endif
