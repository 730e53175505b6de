// Reading a control's event arguments: order, missing arguments and careless callers.

#include "ByRefVariant.h"
#include "OleControl.h"
#include "Variant.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using vl::EventArguments;
using vl::EventParameter;

using vl::test::byRef;

TEST(EventArguments, ArgumentsArriveLastFirst)
{
    std::vector<VARIANT> list { vl::Variant::fromInt32(2).get(), vl::Variant::fromInt32(1).get() };
    DISPPARAMS params { list.data(), nullptr, 2, 0 };
    EventArguments args(&params, 3);
    EXPECT_EQ(EventParameter<int32_t>::get(args, 0), 1);
    EXPECT_EQ(EventParameter<int32_t>::get(args, 1), 2);
    EXPECT_EQ(EventParameter<int32_t>::get(args, 2), 0); // not sent
    EXPECT_EQ(EventParameter<BSTR>::get(args, 0), nullptr); // no string: no pointer read
}

// A by-reference argument with no target once crashed the sink.
TEST(EventArguments, NullByReferenceTargetsReadAsEmpty)
{
    std::vector<VARIANT> list { byRef(VT_BSTR, nullptr), byRef(VT_BOOL, nullptr), byRef(VT_I4, nullptr) };
    DISPPARAMS params { list.data(), nullptr, 3, 0 };
    EventArguments args(&params, 3);
    EXPECT_EQ(EventParameter<int32_t>::get(args, 0), 0);
    EXPECT_EQ(EventParameter<VARIANT_BOOL>::get(args, 1), VARIANT_FALSE);
    EXPECT_EQ(EventParameter<BSTR>::get(args, 2), nullptr);

    // In/out parameters get a scratch variable the handler may write to.
    int32_t& width = EventParameter<int32_t&>::get(args, 0);
    width = 7;
    VARIANT_BOOL& flag = EventParameter<VARIANT_BOOL&>::get(args, 1);
    flag = VARIANT_TRUE;
    EXPECT_EQ(list[2].plVal, nullptr);
    EXPECT_EQ(list[1].pboolVal, nullptr);
}

TEST(EventArguments, ByReferenceTargetsAreTheCallersVariables)
{
    int32_t height = 480;
    VARIANT_BOOL resize = VARIANT_TRUE;
    std::vector<VARIANT> list { byRef(VT_BOOL, &resize), byRef(VT_I4, &height) };
    DISPPARAMS params { list.data(), nullptr, 2, 0 };
    EventArguments args(&params, 2);
    EXPECT_EQ(EventParameter<int32_t>::get(args, 0), 480);
    EventParameter<int32_t&>::get(args, 0) = 240;
    EventParameter<VARIANT_BOOL&>::get(args, 1) = VARIANT_FALSE;
    EXPECT_EQ(height, 240);
    EXPECT_EQ(resize, VARIANT_FALSE);
}

} // namespace
