// vlreport over a database that keeps pictures in a BLOB column, plain and wrapped as Access OLE
// objects: with --binary data-uri an <image> over the field shows them.

#include "ChildProcess.h"
#include "SqliteFixture.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>

#include <algorithm>
#include <fstream>

namespace
{

std::string hex(const QByteArray& bytes)
{
    return bytes.toHex().toUpper().toStdString();
}

// A 40 x 20 picture, red throughout.
QByteArray redPng()
{
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, "PNG"));
    return bytes;
}

class VlreportPictures : public testing::Test
{
protected:
    void SetUp() override
    {
        const std::string png = hex(redPng());
        // The OLE header names the class "Package"; the object's stream has the picture inside.
        const std::string ole
            = "151C2F0002000700" + hex(QByteArray("Package", 8)) + "0105000002000000" + png + "0105000000000000";
        db.exec("create table Pics (Id integer, Photo blob);"
                "insert into Pics values (1, x'"
            + png + "'), (2, x'" + ole + "');");
        std::ofstream(db.folder() + "/pics.vld")
            << R"(<report version="1"><sheet name="S"><page width="60" height="40" margins="0"/>
               <detail detail="Pics" height="30"><image x="10" y="5" width="40" height="20" fit="stretch" src="[Pics.Photo]"/>
               </detail></sheet></report>)";
    }
    vl::test::RunResult run(std::vector<std::string> more)
    {
        std::vector<std::string> arguments
            = { "pics.vld", "--connection", "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + db.path(), "--detail",
                  "Pics", "select * from Pics order by Id", "--png", "out", "--dpi", "50" };
        arguments.insert(arguments.end(), more.begin(), more.end());
        return vl::test::runProgram(VLREPORT_PATH, arguments, db.folder(), {}, { { "QT_QPA_PLATFORM", "offscreen" } });
    }
    // The middle of the picture's frame on the page, 30 x 15 mm at 50 dpi.
    QRgb middleOfPage(int page) const
    {
        const QImage image(QString::fromStdString(db.folder() + "/out/page-00" + std::to_string(page) + ".png"), "PNG");
        return image.isNull() ? qRgb(0, 0, 0) : image.pixel(qRound(30 * 50 / 25.4), qRound(15 * 50 / 25.4));
    }

    vl::test::FixtureDatabase db;
};

} // namespace

TEST_F(VlreportPictures, BinaryFieldsAsDataUrisShowTheirPictures)
{
    const vl::test::RunResult r = run({ "--binary", "data-uri" });
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(middleOfPage(1), qRgb(255, 0, 0)) << "the plain PNG";
    EXPECT_EQ(middleOfPage(2), qRgb(255, 0, 0)) << "the PNG inside the OLE object";
}

TEST_F(VlreportPictures, WithoutTheOptionTheBytesAreNoSourceAndEachIsToldOnce)
{
    const vl::test::RunResult r = run({});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("The picture \""), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << "one line per distinct source: " << r.err;
    EXPECT_NE(middleOfPage(1), qRgb(255, 0, 0));
}
