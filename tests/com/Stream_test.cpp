#include "TestObjects.h"

namespace
{

using StreamTest = ComTest;

TEST_F(StreamTest, WriteSeekReadRoundTrip)
{
    auto stream = vl::createMemoryStream();
    ULONG written = 0;
    ASSERT_EQ(stream->Write("abcdef", 6, &written), S_OK);
    EXPECT_EQ(written, 6u);
    ULARGE_INTEGER position {};
    ASSERT_EQ(stream->Seek(LARGE_INTEGER { -4 }, STREAM_SEEK_CUR, &position), S_OK);
    EXPECT_EQ(position.QuadPart, 2u);
    char buffer[8] = {};
    ULONG read = 0;
    EXPECT_EQ(stream->Read(buffer, 8, &read), S_FALSE);
    EXPECT_EQ(read, 4u);
    EXPECT_EQ(std::string(buffer, read), "cdef");
    EXPECT_EQ(stream->Seek(LARGE_INTEGER { -1 }, STREAM_SEEK_SET, nullptr), STG_E_INVALIDFUNCTION);
}

TEST_F(StreamTest, WritingPastTheEndFillsWithZeros)
{
    auto stream = vl::createMemoryStream({ 1, 2 });
    stream->Seek(LARGE_INTEGER { 4 }, STREAM_SEEK_SET, nullptr);
    stream->Write("\x09", 1, nullptr);
    stream->Seek(LARGE_INTEGER { 0 }, STREAM_SEEK_SET, nullptr);
    std::vector<uint8_t> bytes;
    ASSERT_EQ(vl::readRemainingBytes(stream.get(), bytes), S_OK);
    EXPECT_EQ(bytes, (std::vector<uint8_t> { 1, 2, 0, 0, 9 }));
    STATSTG stat {};
    EXPECT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.cbSize.QuadPart, 5u);
}

TEST_F(StreamTest, CloneKeepsItsOwnPosition)
{
    auto stream = vl::createMemoryStream({ 1, 2, 3 });
    stream->Seek(LARGE_INTEGER { 1 }, STREAM_SEEK_SET, nullptr);
    vl::ComPtr<IStream> clone;
    ASSERT_EQ(stream->Clone(&clone), S_OK);
    std::vector<uint8_t> fromClone, fromOriginal;
    vl::readRemainingBytes(clone.get(), fromClone);
    vl::readRemainingBytes(stream.get(), fromOriginal);
    EXPECT_EQ(fromClone, (std::vector<uint8_t> { 2, 3 }));
    EXPECT_EQ(fromOriginal, fromClone);
}

} // namespace
