// Names as Windows' A functions give them: in the system's ANSI code page, which holds one
// or two bytes a character (932, 936, 949 and 950 lead bytes take a trail byte, which may be
// 0x5C, the backslash). Decoded whole, by the system, for the outputs read elsewhere.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The system's ANSI code page (GetACP); 1252 where the door gives no answer.
uint32_t AskCodePage();
// `text` in `codePage` as UTF-16, decoded whole by the system (MultiByteToWideChar). Where
// the system cannot decode it, each byte outside ASCII stands as U+FFFD.
std::u16string DecodeAnsi(uint32_t codePage, const std::string& text);

// `text` in `codePage`, encoded by the system (WideCharToMultiByte); none where the code page
// cannot hold a character of it, or the system would not encode it.
std::optional<std::string> EncodeAnsi(uint32_t codePage, const std::u16string& text);

// The folder `path` lies in, its last separator ('\', '/' or a drive's ':') included, cut
// between whole characters of the system's code page (a trail byte 0x5C is no separator);
// empty where it names none.
std::string FolderOf(const std::string& path);
