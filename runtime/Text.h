#pragma once
// Narrow text (bytes in a code page) and wide text (UTF-16), converted through iconv.
// The narrow code page is the codeset of the current locale; the C and POSIX locales count
// as UTF-8. An empty code-page argument always means that narrow code page.

#include <cstddef>
#include <string>
#include <string_view>

namespace vl {

// iconv name of the current locale's codeset ("UTF-8", "GBK", "ISO-8859-1", ...).
std::string narrowCodePage();
// narrowCodePage() == "UTF-8", without building the name: asked once for every wide field text.
bool narrowCodePageIsUtf8();

// A character the target cannot hold becomes the code page's default character "?";
// an invalid narrow sequence becomes U+FFFD in wide text.
std::u16string toWide(std::string_view text, std::string_view codePage = {});
std::string toNarrow(std::u16string_view text, std::string_view codePage = {});

// UTF-16 <-> UTF-8, independent of the locale (used where a wire format is fixed).
std::u16string utf8ToUtf16(std::string_view text);
std::string utf16ToUtf8(std::u16string_view text);

// True when the code page encodes some characters in more than one byte.
bool isMultiByteCodePage(std::string_view codePage = {});
// Bytes of the character that starts at pos (at least 1, never past the end).
std::size_t charLengthAt(std::string_view text, std::size_t pos, std::string_view codePage = {});
// True when byte pos is a trailing byte of a multi-byte character, found by walking from the start.
bool isTrailByteAt(std::string_view text, std::size_t pos, std::string_view codePage = {});
// Offset of the last character of a non-empty text (a double-byte character counts as one).
std::size_t lastCharOffset(std::string_view text, std::string_view codePage = {});

// Letter case by the code page's rules: ASCII directly, other characters through Unicode
// case mapping of their wide form.
std::string upperCase(std::string_view text, std::string_view codePage = {});
bool sameText(std::string_view a, std::string_view b, std::string_view codePage = {});

// printf-style formatting into a std::string.
std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

} // namespace vl
