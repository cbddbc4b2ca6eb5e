// Turns the bytes of the message file into the code points to draw.
#ifndef TOOLS_MESSAGE_MESSAGE_TEXT_H
#define TOOLS_MESSAGE_MESSAGE_TEXT_H

#include <string>
#include <vector>

// Decodes UTF-8. A byte that does not start a well-formed sequence (a stray
// continuation byte, a truncated or overlong sequence, a surrogate, a value
// past U+10FFFF) becomes one '?', and decoding goes on at the next byte. A
// byte-order mark at the very start is dropped.
std::vector<char32_t> DecodeUtf8(const std::string &bytes);

// Makes the text one line: every run of spaces, tabs and line breaks becomes
// a single space, and none is left at either end.
std::vector<char32_t> CollapseWhiteSpace(const std::vector<char32_t> &text);

#endif
