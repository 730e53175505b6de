#include "Application.h"
#include "Exceptions.h"
#include "Platform.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
struct Box {
    std::string text, caption;
    vl::MessageBoxIcon icon;
};

class ApplicationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        vl::setProgramFilePath("/opt/reports/vldemo");
        vl::setMessageBoxHandler([this](const std::string& t, const std::string& c, vl::MessageBoxIcon i) {
            boxes.push_back({t, c, i});
        });
    }
    void TearDown() override
    {
        vl::setMessageBoxHandler({});
        vl::setProgramFilePath({});
    }
    std::vector<Box> boxes;
};
} // namespace

TEST(TitleRule, DirectoryAndExtensionRemovedRestLowerCased)
{
    EXPECT_EQ(vl::titleFromProgramPath("/usr/bin/vldemo"), "vldemo");
    EXPECT_EQ(vl::titleFromProgramPath("/opt/x/VLDemo.bin.old"), "Vldemo");
    EXPECT_EQ(vl::titleFromProgramPath("Report.Viewer"), "Report");
    EXPECT_EQ(vl::titleFromProgramPath("/a.b/PROG"), "Prog");
    EXPECT_EQ(vl::titleFromProgramPath("/x/.hidden"), "");
}

TEST_F(ApplicationTest, ExceptionHandlerShowsStopBoxWithTitleAndDropsAbort)
{
    int argc = 1;
    char name[] = "vldemo";
    char* argv[] = {name, nullptr};
    TApplication app(argc, argv);
    EXPECT_EQ(app.Title(), "vldemo");
    app.HandleException(std::make_exception_ptr(EAbort("quiet")));
    EXPECT_TRUE(boxes.empty());
    app.HandleException(std::make_exception_ptr(EDatabaseError("ADODataSet1: Cannot perform this operation on a closed dataset")));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "ADODataSet1: Cannot perform this operation on a closed dataset.");
    EXPECT_EQ(boxes[0].caption, "vldemo");
    EXPECT_EQ(boxes[0].icon, vl::MessageBoxIcon::Stop);
    runGuarded([] { throw Exception("From a handler"); });
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, "From a handler.");
}

TEST(TickCounter, ReplaceableAndWrapping)
{
    vl::setTickCounter([] { return 0xFFFFFFFAu; });
    const uint32_t start = vl::tickCount();
    vl::setTickCounter([] { return 10u; });
    EXPECT_EQ(static_cast<uint32_t>(vl::tickCount() - start), 16u);
    vl::setTickCounter({});
}
