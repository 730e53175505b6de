#pragma once
// Outcome of reading a template or a data document: where and why it was refused.

#include <QString>
#include <QStringView>

#include <cstddef>
#include <string_view>

namespace vl {

struct ParseResult {
    bool ok = true;
    QString message; // complete description, position included; empty when ok
    int line = 0; // 1-based; 0 when the failure has no position (e.g. a missing file)
    int column = 0; // 1-based, counted in characters

    static ParseResult failure(QString message, int line = 0, int column = 0)
    {
        return ParseResult{false, std::move(message), line, column};
    }
};

// 1-based line and column of a byte offset into UTF-8 text; CR LF, CR and LF each end a line.
void lineAndColumn(std::string_view text, std::ptrdiff_t offset, int& line, int& column);
// The same for an offset in UTF-16 units; a surrogate pair is one character.
void lineAndColumn(QStringView text, std::ptrdiff_t offset, int& line, int& column);

// "<what>: <reason> at line L, column C", the one shape of every position-bearing message.
QString positionMessage(const QString& what, const QString& reason, int line, int column);

} // namespace vl
