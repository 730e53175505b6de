#pragma once
// The rules of the template's attribute values, on their text: the reader applies them to what is
// written, the layout to what a style expression gives for a row. Each answers false with the reason
// that the reader prints after the element's position.

#include "ReportTemplate.h"

#include <QString>

namespace vl {

// A finite decimal number from `minimum` to `maximum`.
bool readNumberAttribute(const char* name, const QString& text, double minimum, double maximum, double& out,
                         QString& reason);
// A whole number from `minimum` to `maximum`.
bool readWholeAttribute(const char* name, const QString& text, int minimum, int maximum, int& out, QString& reason);
// true/false, 1/0, yes/no, in any letter case.
bool readFlagAttribute(const char* name, const QString& text, bool& out, QString& reason);
// #RRGGBB or a colour name.
bool readColourAttribute(const char* name, const QString& text, QColor& out, QString& reason);

// Sets one style attribute of `style` from its text as the template writes it (`bold="true"`,
// `border="left,top"`); `style` is unchanged on failure.
bool setStyleAttribute(CellStyle& style, StyleAttribute attribute, const QString& text, QString& reason);

// The style attribute of that name as written in the template, or false.
bool styleAttributeOf(const char* name, StyleAttribute& attribute);

} // namespace vl
