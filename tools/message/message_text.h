// Turns the bytes of the message file into the code points to draw.
#ifndef TOOLS_MESSAGE_MESSAGE_TEXT_H
#define TOOLS_MESSAGE_MESSAGE_TEXT_H

#include <string>
#include <vector>

// Decodes the file's UTF-8 (text/utf8.h): each byte that does not start a
// well-formed sequence becomes one '?'. A byte-order mark at the very start
// is dropped.
std::vector<char32_t> DecodeMessageText(const std::string &bytes);

// Makes the text one line: every run of spaces, tabs and line breaks becomes
// a single space, and none is left at either end.
std::vector<char32_t> CollapseWhiteSpace(const std::vector<char32_t> &text);

#endif
