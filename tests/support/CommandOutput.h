#pragma once
// What a test reads back from another program (pdftotext, zbarimg): its standard output, and text
// compared without white space, since such readers lay words out anew.

#include <gtest/gtest.h>

#include <QString>

#include <cstdio>
#include <string>

namespace vl::test {

// Standard output of a shell command; the command's failure fails the test.
inline std::string commandOutput(const std::string& command)
{
    std::string text;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        ADD_FAILURE() << "cannot run " << command;
        return text;
    }
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        text.append(buffer, n);
    EXPECT_EQ(::pclose(pipe), 0) << command;
    return text;
}

// Text without any white space, the ideographic space included.
inline std::string withoutSpace(const std::string& text)
{
    QString result;
    for (const QChar c : QString::fromStdString(text))
        if (!c.isSpace())
            result.append(c);
    return result.toStdString();
}

} // namespace vl::test
