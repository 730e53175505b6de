#pragma once
// Pictures kept in binary fields: what kind of picture a value's bytes hold, found from their own
// signature (never from a column's declared type), and the picture inside an OLE object wrapper as
// Access stores it, so the value can travel as a data: URI.

#include <string>
#include <string_view>

namespace vl
{

struct BinaryPicture {
    std::string_view bytes; // a view into the value given; the whole value when no picture was found
    std::string_view mimeType; // "image/png", "image/jpeg", "image/gif", "image/bmp"; empty: no picture
};

// The picture in `value`: the value itself when it starts with a PNG, JPEG, GIF or BMP signature, or
// the picture inside an OLE object whose class is "Package" or "PBrush" (its wrapper stripped);
// otherwise the whole value with an empty type.
BinaryPicture findPicture(std::string_view value);

// `value` as a data: URI of its picture (base64), or "application/octet-stream" with all the value's
// bytes when it holds none. An empty value gives an empty text, as a missing value prints.
std::string binaryDataUri(std::string_view value);

} // namespace vl
