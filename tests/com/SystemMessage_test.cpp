#include "TestObjects.h"

namespace
{

TEST(SystemMessage, UsualTextsOfTheCodes)
{
    const struct {
        HRESULT code;
        const char16_t* text;
    } cases[] = {
        { E_FAIL, u"Unspecified error" },
        { E_NOINTERFACE, u"No such interface supported" },
        { E_NOTIMPL, u"Not implemented" },
        { E_INVALIDARG, u"The parameter is incorrect." },
        { E_POINTER, u"Invalid pointer" },
        { E_OUTOFMEMORY, u"Not enough memory resources are available to complete this operation." },
        { E_UNEXPECTED, u"Catastrophic failure" },
        { E_ACCESSDENIED, u"Access is denied." },
        { REGDB_E_CLASSNOTREG, u"Class not registered" },
        { CLASS_E_NOAGGREGATION, u"Class does not support aggregation (or class object is remote)" },
        { DISP_E_MEMBERNOTFOUND, u"Member not found." },
        { DISP_E_EXCEPTION, u"Exception occurred." },
        { DISP_E_TYPEMISMATCH, u"Type mismatch." },
        { DISP_E_BADVARTYPE, u"Bad variable type." },
        { CO_E_NOTINITIALIZED, u"CoInitialize has not been called." },
        { HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), u"The specified module could not be found." },
    };
    for (const auto& c : cases)
        EXPECT_EQ(vl::systemMessageText(c.code), c.text) << std::hex << c.code;
}

TEST(SystemMessage, UnknownCodeHasNoText)
{
    EXPECT_EQ(vl::systemMessageText(static_cast<HRESULT>(0x8004DEADu)), u"");
    char16_t buffer[256] = { u'x' };
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, 0x8004DEADu, 0,
                  buffer, 256, nullptr),
        0u);
}

TEST(SystemMessage, FormatMessageEndsTheLineAndRespectsTheBuffer)
{
    char16_t buffer[256];
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    const DWORD length = FormatMessageW(flags, nullptr, DWORD(E_FAIL), 0, buffer, 256, nullptr);
    EXPECT_EQ(std::u16string(buffer), u"Unspecified error\r\n");
    EXPECT_EQ(length, 19u);
    EXPECT_EQ(FormatMessageW(flags, nullptr, DWORD(E_FAIL), 0, buffer, 19, nullptr), 0u) << "no room for the zero";
    EXPECT_EQ(FormatMessageW(flags, nullptr, DWORD(E_FAIL), 0, buffer, 20, nullptr), 19u);
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, DWORD(E_FAIL), 0, buffer, 256, nullptr), 0u);
}

} // namespace
