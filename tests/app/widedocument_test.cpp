#include "WideDocument.h"

#include "BStr.h"
#include "Text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using vl::WideDocument;

namespace {

// Markup between values every few bytes, as in a data document, with the values' characters
// chosen to stand at every place of the 32 KiB slices.
std::string document(std::u16string_view value, int rows)
{
    std::u16string wide = u"<DocumentData><Master>";
    for (int i = 0; i < rows; ++i) {
        wide += u"<Row A=\"";
        wide += value.substr(0, static_cast<std::size_t>(i) % (value.size() + 1));
        wide += u"\"/>";
    }
    wide += u"</Master></DocumentData>";
    return vl::toNarrow(wide, "UTF-8");
}

void expectSameAsWhole(const std::string& narrow, const char* codePage)
{
    SCOPED_TRACE(codePage);
    const std::u16string whole = vl::toWide(narrow, codePage);
    WideDocument wide(narrow, codePage);
    const BSTR text = wide.bstr();
    ASSERT_NE(text, nullptr);
    ASSERT_EQ(SysStringLen(text), whole.size());
    ASSERT_EQ(SysStringByteLen(text), whole.size() * 2);
    EXPECT_EQ(text[whole.size()], u'\0');
    EXPECT_TRUE(std::u16string_view(reinterpret_cast<const char16_t*>(text), whole.size()) == whole);
    const QString taken = wide.takeText();
    EXPECT_TRUE(taken == QString::fromStdU16String(whole));
}

} // namespace

TEST(WideDocument, SlicesNeverSplitACharacter)
{
    // Four-byte forms in UTF-8 and GB18030 (whose forms hold digits), two-byte forms in GBK.
    const std::u16string value = u"a\u0080\u00e9\u4e2d\u6587\U0001F600\u20ac0123456789\u3000z";
    const std::u16string gbkValue = u"a\u4e2d\u6587\u9500\u552e\u90e8\u3000z 7";
    const int rows = 12000; // several slices
    expectSameAsWhole(document(value, rows), "UTF-8");
    expectSameAsWhole(vl::toNarrow(vl::toWide(document(value, rows), "UTF-8"), "GB18030"), "GB18030");
    expectSameAsWhole(vl::toNarrow(vl::toWide(document(gbkValue, rows), "UTF-8"), "GBK"), "GBK");
    // A long stretch of GB18030 four-byte forms with no byte below 0x30: it goes whole.
    std::u16string dense(30000, u'\u0080');
    expectSameAsWhole(vl::toNarrow(u"<DocumentData>" + dense + u"</DocumentData>", "GB18030"), "GB18030");
}

TEST(WideDocument, AnEmptyDocumentIsANullString)
{
    WideDocument wide("", "UTF-8");
    EXPECT_EQ(wide.bstr(), nullptr);
    EXPECT_TRUE(wide.takeText().isEmpty());
}
