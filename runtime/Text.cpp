#include "Text.h"

#include <QChar>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <map>
#include <memory>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vl {
namespace {

std::string normalisedName(std::string_view codePage)
{
    std::string name(codePage);
    for (auto& c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (name.empty() || name == "ANSI_X3.4-1968" || name == "ASCII" || name == "US-ASCII" || name == "UTF8")
        return "UTF-8";
    return name;
}

struct LocaleCodePage {
    std::string raw;
    std::string normalised;
    bool utf8 = false;
};

// The locale's code set, normalised once per change of locale: every field text asks for it, and
// comparing the raw name is far cheaper than normalising it again.
const LocaleCodePage& currentLocaleCodePage()
{
    thread_local LocaleCodePage cached;
    const char* codeset = nl_langinfo(CODESET);
    if (!codeset)
        codeset = "";
    if (cached.normalised.empty() || std::strcmp(cached.raw.c_str(), codeset) != 0) {
        cached.raw = codeset;
        cached.normalised = normalisedName(cached.raw);
        cached.utf8 = cached.normalised == "UTF-8";
    }
    return cached;
}

// The same question for the hottest caller, without the guarded thread-local above: the code set
// text of the locale in force is kept by address and compared by its bytes.
struct Utf8Answer {
    const char* codeset;
    char copy[32];
    bool utf8;
};
thread_local Utf8Answer lastUtf8Answer {};

const std::string& localeCodePage() { return currentLocaleCodePage().normalised; }

std::string normalisedCodePage(std::string_view codePage)
{
    return codePage.empty() ? localeCodePage() : normalisedName(codePage);
}

// One cached conversion descriptor per direction and code page, per thread.
class Converter {
public:
    Converter(const std::string& to, const std::string& from)
        : m_cd(iconv_open(to.c_str(), from.c_str()))
    {
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error("unknown code page: " + (to == "UTF-16LE" ? from : to));
    }
    ~Converter() { iconv_close(m_cd); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts; on an input sequence the target cannot take, writes `replacement` and skips
    // `skip` bytes of input.
    std::string run(const char* in, size_t inLeft, std::string_view replacement, size_t skip)
    {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        std::string out;
        out.resize(inLeft * 2 + 16);
        char* inPtr = const_cast<char*>(in);
        char* outPtr = out.data();
        size_t outLeft = out.size();
        while (inLeft > 0) {
            size_t r = iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft);
            if (r != static_cast<size_t>(-1))
                break;
            if (errno == E2BIG || outLeft < 16) {
                size_t used = static_cast<size_t>(outPtr - out.data());
                out.resize(out.size() * 2 + 16);
                outPtr = out.data() + used;
                outLeft = out.size() - used;
                continue;
            }
            // EILSEQ or EINVAL: an unconvertible or incomplete sequence.
            size_t step = std::min(skip, inLeft);
            if (skip == 2 && inLeft >= 4) {
                // A UTF-16 surrogate pair is one character: skip both halves.
                unsigned hi = static_cast<unsigned char>(inPtr[0]) | (static_cast<unsigned char>(inPtr[1]) << 8);
                unsigned lo = static_cast<unsigned char>(inPtr[2]) | (static_cast<unsigned char>(inPtr[3]) << 8);
                if (hi >= 0xD800 && hi < 0xDC00 && lo >= 0xDC00 && lo < 0xE000)
                    step = 4;
            }
            inPtr += step;
            inLeft -= step;
            std::memcpy(outPtr, replacement.data(), replacement.size());
            outPtr += replacement.size();
            outLeft -= replacement.size();
            iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        }
        for (;;) {
            size_t r = iconv(m_cd, nullptr, nullptr, &outPtr, &outLeft);
            if (r != static_cast<size_t>(-1) || errno != E2BIG)
                break;
            size_t used = static_cast<size_t>(outPtr - out.data());
            out.resize(out.size() * 2 + 16);
            outPtr = out.data() + used;
            outLeft = out.size() - used;
        }
        out.resize(static_cast<size_t>(outPtr - out.data()));
        return out;
    }

private:
    iconv_t m_cd;
};

Converter& converter(const std::string& to, const std::string& from)
{
    thread_local std::map<std::pair<std::string, std::string>, std::unique_ptr<Converter>> cache;
    auto& slot = cache[{to, from}];
    if (!slot)
        slot = std::make_unique<Converter>(to, from);
    return *slot;
}

bool isGb18030(const std::string& cp) { return cp == "GB18030"; }

bool isDbcsLead(const std::string& cp, unsigned char c)
{
    if (cp == "GBK" || cp == "GB2312" || cp == "CP936" || cp == "EUC-CN" || cp == "GB18030"
        || cp == "BIG5" || cp == "BIG5-HKSCS" || cp == "CP950" || cp == "EUC-KR" || cp == "CP949"
        || cp == "UHC" || cp == "EUC-TW")
        return c >= 0x81 && c <= 0xFE;
    if (cp == "SHIFT_JIS" || cp == "SJIS" || cp == "CP932" || cp == "WINDOWS-31J")
        return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    if (cp == "EUC-JP")
        return c >= 0x8E && c <= 0xFE;
    return false;
}

} // namespace

std::string narrowCodePage()
{
    return localeCodePage();
}

bool narrowCodePageIsUtf8()
{
    const char* codeset = nl_langinfo(CODESET);
    Utf8Answer& last = lastUtf8Answer;
    if (codeset && codeset == last.codeset && std::strncmp(codeset, last.copy, sizeof last.copy) == 0)
        return last.utf8;
    const bool utf8 = currentLocaleCodePage().utf8;
    if (codeset && std::strlen(codeset) < sizeof last.copy) {
        last.codeset = codeset;
        std::strcpy(last.copy, codeset);
        last.utf8 = utf8;
    }
    return utf8;
}

std::u16string toWide(std::string_view text, std::string_view codePage)
{
    if (text.empty())
        return {};
    const std::string cp = normalisedCodePage(codePage);
    if (cp == "UTF-8")
        return utf8ToUtf16(text);
    const char16_t replacement = u'\uFFFD';
    std::string bytes = converter("UTF-16LE", cp).run(
        text.data(), text.size(), std::string_view(reinterpret_cast<const char*>(&replacement), 2), 1);
    std::u16string out(bytes.size() / 2, u'\0');
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
}

std::string toNarrow(std::u16string_view text, std::string_view codePage)
{
    if (text.empty())
        return {};
    const std::string cp = normalisedCodePage(codePage);
    if (cp == "UTF-8")
        return utf16ToUtf8(text);
    return converter(cp, "UTF-16LE").run(reinterpret_cast<const char*>(text.data()), text.size() * 2, "?", 2);
}

// Documents are mostly ASCII: runs of it are widened or narrowed sixteen characters at a time,
// written through a pointer into storage sized for the longest result and cut to length after.
std::u16string utf8ToUtf16(std::string_view text)
{
    std::u16string result(text.size(), u'\0');
    char16_t* out = result.data();
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
#if defined(__SSE2__)
        if (n - i >= 16) {
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            if (_mm_movemask_epi8(chunk) == 0) {
                const __m128i zero = _mm_setzero_si128();
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(chunk, zero));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(chunk, zero));
                out += 16;
                i += 16;
                continue;
            }
        }
#endif
        unsigned c = p[i];
        if (c < 0x80) {
            *out++ = static_cast<char16_t>(c);
            ++i;
            continue;
        }
        int len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
        if (c > 0xF4)
            len = 0;
        char32_t cp = len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
        bool ok = len > 0 && i + static_cast<size_t>(len) <= n;
        for (int k = 1; ok && k < len; ++k) {
            unsigned cc = p[i + static_cast<size_t>(k)];
            if ((cc & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (cc & 0x3F);
        }
        if (ok && ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp < 0xE000))) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))))
            ok = false;
        if (!ok) {
            *out++ = u'\uFFFD';
            ++i;
            continue;
        }
        // Four bytes give two units, never more units than bytes.
        if (cp >= 0x10000) {
            cp -= 0x10000;
            *out++ = static_cast<char16_t>(0xD800 + (cp >> 10));
            *out++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            *out++ = static_cast<char16_t>(cp);
        }
        i += static_cast<size_t>(len);
    }
    result.resize(static_cast<size_t>(out - result.data()));
    return result;
}

std::string utf16ToUtf8(std::u16string_view text)
{
    // Sized for ASCII and grown when a longer form comes: a wide text can be hundreds of megabytes.
    std::string result(text.size() + 16, '\0');
    char* out = result.data();
    auto makeRoom = [&](size_t bytes) {
        if (static_cast<size_t>(result.data() + result.size() - out) >= bytes)
            return;
        const auto used = static_cast<size_t>(out - result.data());
        result.resize(std::max(result.size() * 2, used + bytes));
        out = result.data() + used;
    };
    const size_t n = text.size();
    for (size_t i = 0; i < n; ++i) {
#if defined(__SSE2__)
        while (n - i >= 16) {
            makeRoom(16);
            const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
            const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i + 8));
            // Units below 0x80 only: no bit above the lowest seven is set in any of them.
            const __m128i above = _mm_set1_epi16(static_cast<short>(0xFF80));
            const __m128i aboveBits = _mm_and_si128(_mm_or_si128(low, high), above);
            if (_mm_movemask_epi8(_mm_cmpeq_epi16(aboveBits, _mm_setzero_si128())) != 0xFFFF)
                break;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(low, high));
            out += 16;
            i += 16;
        }
        if (i == n)
            break;
#endif
        makeRoom(4);
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            // A lone surrogate has no narrow form.
            *out++ = '?';
            continue;
        }
        if (c < 0x80) {
            *out++ = static_cast<char>(c);
        } else if (c < 0x800) {
            *out++ = static_cast<char>(0xC0 | (c >> 6));
            *out++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            *out++ = static_cast<char>(0xE0 | (c >> 12));
            *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *out++ = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            *out++ = static_cast<char>(0xF0 | (c >> 18));
            *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *out++ = static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    result.resize(static_cast<size_t>(out - result.data()));
    return result;
}

bool isMultiByteCodePage(std::string_view codePage)
{
    const std::string cp = normalisedCodePage(codePage);
    return cp == "UTF-8" || isDbcsLead(cp, 0x81) || isDbcsLead(cp, 0xE0);
}

std::size_t charLengthAt(std::string_view text, std::size_t pos, std::string_view codePage)
{
    if (pos >= text.size())
        return 0;
    const std::string cp = normalisedCodePage(codePage);
    const auto c = static_cast<unsigned char>(text[pos]);
    size_t len = 1;
    if (cp == "UTF-8") {
        len = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 1;
        if (c >= 0xF5)
            len = 1;
        // Stop at a byte that does not continue the sequence.
        for (size_t k = 1; k < len; ++k) {
            if (pos + k >= text.size() || (static_cast<unsigned char>(text[pos + k]) & 0xC0) != 0x80) {
                len = 1;
                break;
            }
        }
    } else if (isDbcsLead(cp, c)) {
        len = 2;
        if (isGb18030(cp) && pos + 1 < text.size()) {
            auto second = static_cast<unsigned char>(text[pos + 1]);
            if (second >= 0x30 && second <= 0x39)
                len = 4;
        }
    }
    return std::min(len, text.size() - pos);
}

bool isTrailByteAt(std::string_view text, std::size_t pos, std::string_view codePage)
{
    const std::string cp = normalisedCodePage(codePage);
    size_t i = 0;
    while (i < text.size()) {
        size_t len = charLengthAt(text, i, cp);
        if (pos < i + len)
            return pos != i;
        i += len;
    }
    return false;
}

std::size_t lastCharOffset(std::string_view text, std::string_view codePage)
{
    const std::string cp = normalisedCodePage(codePage);
    size_t i = 0, last = 0;
    while (i < text.size()) {
        last = i;
        i += charLengthAt(text, i, cp);
    }
    return last;
}

std::string upperCase(std::string_view text, std::string_view codePage)
{
    bool ascii = true;
    for (char ch : text) {
        if (static_cast<unsigned char>(ch) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) {
        std::string out(text);
        for (auto& ch : out)
            if (ch >= 'a' && ch <= 'z')
                ch = static_cast<char>(ch - 'a' + 'A');
        return out;
    }
    const std::string cp = normalisedCodePage(codePage);
    std::u16string wide = toWide(text, cp);
    for (size_t i = 0; i < wide.size(); ++i) {
        char16_t c = wide[i];
        if (c >= 0xD800 && c < 0xE000)
            continue;
        char32_t upper = QChar::toUpper(static_cast<char32_t>(c));
        if (upper < 0x10000)
            wide[i] = static_cast<char16_t>(upper);
    }
    std::string back = toNarrow(wide, cp);
    // A text that does not survive the round trip (bytes no character stands for) keeps its
    // bytes, upper-cased in ASCII only, so that no information is lost from a key.
    if (toWide(back, cp) != wide || back.size() != text.size()) {
        std::string out(text);
        for (auto& ch : out)
            if (ch >= 'a' && ch <= 'z')
                ch = static_cast<char>(ch - 'a' + 'A');
        return out;
    }
    return back;
}

bool sameText(std::string_view a, std::string_view b, std::string_view codePage)
{
    if (a.size() == b.size()) {
        bool ascii = true;
        for (size_t i = 0; i < a.size(); ++i) {
            auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
            if (x >= 0x80 || y >= 0x80) {
                ascii = false;
                break;
            }
            if (x != y && std::toupper(x) != std::toupper(y))
                return false;
        }
        if (ascii)
            return true;
    }
    return upperCase(a, codePage) == upperCase(b, codePage);
}

std::string format(const char* pattern, ...)
{
    va_list args;
    va_start(args, pattern);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, pattern, copy);
    va_end(copy);
    std::string out;
    if (n > 0) {
        out.resize(static_cast<size_t>(n));
        std::vsnprintf(out.data(), out.size() + 1, pattern, args);
    }
    va_end(args);
    return out;
}

} // namespace vl
