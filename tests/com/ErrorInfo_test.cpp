#include "TestObjects.h"

#include <thread>

namespace
{

using ErrorInfoTest = ComTest;

vl::ComPtr<IErrorInfo> makeError(const char16_t* description)
{
    vl::ComPtr<ICreateErrorInfo> create;
    EXPECT_EQ(CreateErrorInfo(&create), S_OK);
    create->SetDescription(const_cast<LPOLESTR>(description));
    create->SetSource(const_cast<LPOLESTR>(u"Test.Source"));
    create->SetHelpContext(17);
    vl::ComPtr<IErrorInfo> info;
    EXPECT_EQ(create.query(IID_IErrorInfo, info), S_OK);
    return info;
}

TEST_F(ErrorInfoTest, GetHandsOverTheObjectAndClearsTheSlot)
{
    SetErrorInfo(0, makeError(u"Template not found.").get());
    vl::ComPtr<IErrorInfo> taken;
    ASSERT_EQ(GetErrorInfo(0, &taken), S_OK);
    vl::BStr description, source;
    EXPECT_EQ(taken->GetDescription(&description), S_OK);
    EXPECT_EQ(taken->GetSource(&source), S_OK);
    DWORD context = 0;
    taken->GetHelpContext(&context);
    EXPECT_EQ(description.view(), u"Template not found.");
    EXPECT_EQ(source.view(), u"Test.Source");
    EXPECT_EQ(context, 17u);

    vl::ComPtr<IErrorInfo> again;
    EXPECT_EQ(GetErrorInfo(0, &again), S_FALSE);
    EXPECT_FALSE(again);
}

TEST_F(ErrorInfoTest, UnsetTextsComeBackNull)
{
    vl::ComPtr<ICreateErrorInfo> create;
    ASSERT_EQ(CreateErrorInfo(&create), S_OK);
    vl::ComPtr<IErrorInfo> info;
    create.query(IID_IErrorInfo, info);
    vl::BStr helpFile(u"x");
    EXPECT_EQ(info->GetHelpFile(&helpFile), S_OK);
    EXPECT_EQ(helpFile.get(), nullptr);
}

TEST_F(ErrorInfoTest, AnotherThreadDoesNotSeeIt)
{
    SetErrorInfo(0, makeError(u"main thread").get());
    HRESULT seen = E_FAIL;
    std::thread other([&] {
        IErrorInfo* info = nullptr;
        seen = GetErrorInfo(0, &info);
        if (info)
            info->Release();
        SetErrorInfo(0, makeError(u"other thread").get());
        IErrorInfo* own = nullptr;
        GetErrorInfo(0, &own); // and clears it before the thread goes
        if (own)
            own->Release();
    });
    other.join();
    EXPECT_EQ(seen, S_FALSE);
    vl::ComPtr<IErrorInfo> mine;
    ASSERT_EQ(GetErrorInfo(0, &mine), S_OK);
    vl::BStr description;
    mine->GetDescription(&description);
    EXPECT_EQ(description.view(), u"main thread");
}

TEST_F(ErrorInfoTest, SetReplacesAndNullEmpties)
{
    SetErrorInfo(0, makeError(u"first").get());
    SetErrorInfo(0, makeError(u"second").get());
    vl::ComPtr<IErrorInfo> info;
    GetErrorInfo(0, &info);
    vl::BStr description;
    info->GetDescription(&description);
    EXPECT_EQ(description.view(), u"second");
    SetErrorInfo(0, makeError(u"third").get());
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
}

TEST_F(ErrorInfoTest, HelperSetsTextsAndAnswersTheCode)
{
    EXPECT_EQ(vl::setErrorInfo(E_ACCESSDENIED, u"Viewer", u"No printer."), E_ACCESSDENIED);
    vl::ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    vl::BStr source, description;
    info->GetSource(&source);
    info->GetDescription(&description);
    EXPECT_EQ(source.view(), u"Viewer");
    EXPECT_EQ(description.view(), u"No printer.");
}

} // namespace
