#pragma once
// What the engine and control tests share: files written for a test, and refusals checked against the
// line, column and reason a table of cases gives.

#include "ReportXml.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QString>

// Writes the bytes to a new file at the path; a failure names the path.
inline ::testing::AssertionResult writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush())
        return ::testing::AssertionFailure() << "cannot write " << path.toStdString();
    return ::testing::AssertionSuccess();
}

// A document a parser refuses, and where and why, as a row of a table of cases.
template <class Char>
struct RefusalCase {
    const Char* xml;
    int line;
    int column;
    const char* reason;
};

// A refused parse: not ok, at the case's line and column, its message holding the case's reason.
template <class Char>
void expectRefused(const vl::ParseResult& result, const RefusalCase<Char>& expected)
{
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.line, expected.line);
    EXPECT_EQ(result.column, expected.column);
    EXPECT_TRUE(result.message.contains(QString::fromUtf8(expected.reason))) << result.message.toStdString();
}
