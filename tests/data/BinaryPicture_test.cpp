#include "BinaryPicture.h"

#include <gtest/gtest.h>

#include <string>

using vl::binaryDataUri;
using vl::findPicture;

namespace
{

using namespace std::string_literals;

const std::string Png = "\x89PNG\r\n\x1a\n"s + "\0\0\0\rIHDR....."s + "\0\0\0\0IEND\xae\x42\x60\x82"s;
const std::string Jpeg = "\xFF\xD8\xFF\xE0\0\x10JFIF\0...\xFF\xD9"s;
const std::string Gif = "GIF89a\x01\0\x01\0..;"s;
// 30 bytes: "BM", size 30, reserved 0, pixels at 26.
const std::string Bmp = "BM\x1e\0\0\0\0\0\0\0\x1a\0\0\0"s + std::string(16, 'p');

// An Access OLE object: its header (signature 0x15 0x1C, sizes, names and the class), then the
// object's own stream, the picture somewhere inside it, then trailing bytes.
std::string oleObject(const std::string& className, const std::string& picture)
{
    std::string header = "\x15\x1C\x2F\0\x02\0\x07\0\x0E\0\xFF\xFF\xFF\xFF"s + className + "\0Paket\0"s;
    std::string stream = "\x01\x05\0\0\x02\0\0\0\x08\0\0\0"s + className + "\0\0\0\0\0"s + "logo.png\0C:\\logo.png\0"s;
    return header + stream + picture + "\x01\x05\0\0\0\0\0\0trailer BM\x05"s;
}

} // namespace

TEST(BinaryPicture, SignaturesDecideTheTypeAndOleWrappersAreStripped)
{
    const struct {
        const char* name;
        std::string value;
        const char* type; // "" : no picture
        std::string picture; // what is kept; empty: the whole value
    } cases[] = {
        { "png", Png, "image/png", Png },
        { "png with bytes after IEND", Png + "junk", "image/png", Png },
        { "jpeg", Jpeg, "image/jpeg", Jpeg },
        { "gif", Gif, "image/gif", Gif },
        { "bmp cut to its size", Bmp + "tail", "image/bmp", Bmp },
        { "text", "hello world", "", "" },
        { "BM without a sane header", "BM and more text that is no bitmap at all", "", "" },
        { "a picture inside, not at the front", "xx" + Png, "", "" },
        { "ole package of a png", oleObject("Package", Png), "image/png", Png },
        { "ole package of a jpeg", oleObject("Package", Jpeg), "image/jpeg", Jpeg },
        { "ole paintbrush bitmap", oleObject("PBrush", Bmp), "image/bmp", Bmp },
        { "ole of another class", oleObject("Excel.Sheet", Png), "", "" },
        { "ole package without a picture", oleObject("Package", "plain text"), "", "" },
        { "empty", "", "", "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const vl::BinaryPicture found = findPicture(c.value);
        EXPECT_EQ(found.mimeType, c.type);
        EXPECT_EQ(found.bytes, c.picture.empty() ? c.value : c.picture);
    }
}

TEST(BinaryPicture, DataUrisCarryTheSniffedTypeAndBase64OfEveryLength)
{
    const struct {
        std::string value;
        const char* uri;
    } cases[] = {
        { "", "" },
        { "M", "data:application/octet-stream;base64,TQ==" },
        { "Ma", "data:application/octet-stream;base64,TWE=" },
        { "Man", "data:application/octet-stream;base64,TWFu" },
        { "\xFF\xFE\xFD\0"s, "data:application/octet-stream;base64,//79AA==" },
        { "GIF87a", "data:image/gif;base64,R0lGODdh" },
        { oleObject("Package", "GIF87a"), "data:image/gif;base64,R0lGODdhAQUAAAAAAAB0cmFpbGVyIEJNBQ==" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(binaryDataUri(c.value), c.uri) << c.value;
}
