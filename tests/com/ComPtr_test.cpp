#include "TestObjects.h"

namespace
{

using ComPtrTest = ComTest;

TEST_F(ComPtrTest, CountsBalanceByConstruction)
{
    auto object = vl::ComPtr<RecordingDispatch>::adopt(new RecordingDispatch);
    EXPECT_EQ(object->refCount(), 1u);
    {
        vl::ComPtr<RecordingDispatch> copy(object);
        vl::ComPtr<RecordingDispatch> assigned;
        assigned = copy;
        EXPECT_EQ(object->refCount(), 3u);
        vl::ComPtr<RecordingDispatch> moved(std::move(copy));
        EXPECT_EQ(object->refCount(), 3u);
        EXPECT_FALSE(copy);
    }
    EXPECT_EQ(object->refCount(), 1u);
}

TEST_F(ComPtrTest, OutParameterReleasesFirst)
{
    auto first = vl::ComPtr<RecordingDispatch>::adopt(new RecordingDispatch);
    vl::ComPtr<RecordingDispatch> holder(first);
    EXPECT_EQ(first->refCount(), 2u);
    RecordingDispatch** out = &holder;
    EXPECT_EQ(*out, nullptr);
    EXPECT_EQ(first->refCount(), 1u);
}

TEST_F(ComPtrTest, QueryFillsTheTargetOrEmptiesIt)
{
    auto object = vl::ComPtr<RecordingDispatch>::adopt(new RecordingDispatch);
    vl::ComPtr<IDispatch> dispatch;
    EXPECT_EQ(object.query(IID_IDispatch, dispatch), S_OK);
    EXPECT_EQ(static_cast<void*>(dispatch.get()), static_cast<void*>(object.get()));
    vl::ComPtr<IErrorInfo> none;
    EXPECT_EQ(object.query(IID_IErrorInfo, none), E_NOINTERFACE);
    EXPECT_FALSE(none);
    vl::ComPtr<IDispatch> empty;
    EXPECT_EQ(empty.query(IID_IDispatch, dispatch), E_POINTER);
    EXPECT_FALSE(dispatch);
}

TEST_F(ComPtrTest, DetachAndCopyToHandOutCountedReferences)
{
    auto object = vl::ComPtr<IDispatch>::adopt(new RecordingDispatch);
    IDispatch* copied = nullptr;
    EXPECT_EQ(object.copyTo(&copied), S_OK);
    IDispatch* detached = object.detach();
    EXPECT_FALSE(object);
    EXPECT_EQ(copied, detached);
    EXPECT_EQ(detached->Release(), 1u);
    EXPECT_EQ(copied->Release(), 0u);
}

} // namespace
