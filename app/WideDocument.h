#pragma once
// The data document as wide text in one buffer that serves both the viewer and the text box: a
// large document is hundreds of megabytes wide, and each fresh buffer of that size costs as much
// in first-touch page faults as the conversion itself.

#include "ComTypes.h"

#include <QString>

#include <string_view>

namespace vl {

class WideDocument {
public:
    // Converts `narrow` from the code page (the locale's when empty) in slices that stay in the
    // cache, into one buffer that begins with the 32-bit byte count of the automation string
    // layout, so that the viewer reads it in place. Raises Exception as toWide does, and when the
    // text is too long for an automation string.
    explicit WideDocument(std::string_view narrow, std::string_view codePage = {});

    // The text as an automation string for an [in] argument (null when empty): valid until
    // takeText, never to be freed.
    BSTR bstr();
    // The text alone, sharing the buffer; bstr() is void afterwards.
    QString takeText();

private:
    QString m_buffer;
};

} // namespace vl
