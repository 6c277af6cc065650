// An INI text model with the rules of the Windows private-profile calls:
// sections in brackets, key=value lines, names compared without regard to
// ASCII case, the first matching section and key winning, surrounding quotes
// stripped from a value. Unlike those calls it reads every encoding a text
// editor saves and writes a file back in the encoding it found.
// Pure text in, text out; the file handling is in ini_file.cpp.
#ifndef UPDATER_APP_INI_TEXT_H
#define UPDATER_APP_INI_TEXT_H

#include <string>

// How an INI file's bytes hold its text; a rewrite keeps what it found.
enum IniEncoding { IniUtf8, IniUtf8WithMark, IniUtf16WithMark, IniAnsi };

// Decodes the bytes of an INI file: UTF-16LE after an FF FE mark, UTF-8
// after an EF BB BF mark; without a mark UTF-8 when the bytes are valid
// UTF-8, else the ANSI code page (app/unicode.h). Bytes that are all below
// 128 read alike in both and count as UTF-8, so that a name outside the ANSI
// code page can still be written into them.
std::u16string IniDecode(const std::string& bytes, IniEncoding* encoding);

// Encodes an INI text in the given encoding, mark included.
std::string IniEncode(const std::u16string& text, IniEncoding encoding);

// Looks key up in section. Returns false when either is missing.
bool IniFindValue(const std::u16string& text, const char16_t* section, const char16_t* key,
                  std::u16string* value);

// Returns text with key of section set to value: the key's line rewritten in
// place, or a line added at the end of the section, or the section added at
// the end of the text. Every other line stays as it was, with its line end.
std::u16string IniSetValue(const std::u16string& text, const char16_t* section, const char16_t* key,
                           const char16_t* value);

#endif  // UPDATER_APP_INI_TEXT_H
