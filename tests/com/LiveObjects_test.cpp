// Live objects and the variant sweep: every kind of object the layer hands out counts itself while
// alive, and every VARTYPE with every flag combination goes through VariantCopy and VariantClear
// answering only S_OK or DISP_E_BADVARTYPE, with nothing leaked (LeakSanitizer sees the strings
// and arrays; the live count sees the objects).

#include "TestObjects.h"

#include <functional>
#include <string>
#include <vector>

namespace
{

using LiveObjects = ComTest;

TEST_F(LiveObjects, EveryKindCountsWhileAlive)
{
    struct Kind {
        const char* name;
        std::function<vl::ComPtr<IUnknown>()> make;
    };
    const std::vector<Kind> kinds = {
        { "error object",
            [] {
                vl::ComPtr<ICreateErrorInfo> info;
                EXPECT_EQ(CreateErrorInfo(&info), S_OK);
                return vl::ComPtr<IUnknown>(info.get());
            } },
        { "memory stream",
            [] {
                return vl::ComPtr<IUnknown>(vl::createMemoryStream({ 1, 2, 3 }).get());
            } },
        { "font", [] { return vl::ComPtr<IUnknown>(vl::createFont(vl::FontDescription {}).get()); } },
        { "font clone",
            [] {
                vl::ComPtr<IFont> font = vl::createFont(vl::FontDescription {});
                vl::ComPtr<IFont> clone;
                EXPECT_EQ(font->Clone(&clone), S_OK);
                return vl::ComPtr<IUnknown>(clone.get());
            } },
        { "stream clone",
            [] {
                vl::ComPtr<IStream> stream = vl::createMemoryStream({ 1, 2, 3 });
                vl::ComPtr<IStream> clone;
                EXPECT_EQ(stream->Clone(&clone), S_OK);
                return vl::ComPtr<IUnknown>(clone.get());
            } },
    };
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        const long before = vl::liveObjectCount();
        vl::ComPtr<IUnknown> object = kind.make();
        ASSERT_TRUE(object);
        EXPECT_EQ(vl::liveObjectCount(), before + 1);
        object.reset();
        EXPECT_EQ(vl::liveObjectCount(), before);
    }
}

TEST_F(LiveObjects, ConnectionPointsAndTheirEnumeratorsCount)
{
    class Container : public vl::ComObject<IConnectionPointContainer>
    {
    public:
        Container()
            : m_points(this)
        {
            m_points.add(IID_IDispatch);
        }
        HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) override
        {
            return m_points.EnumConnectionPoints(points);
        }
        HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) override
        {
            return m_points.FindConnectionPoint(iid, point);
        }

    protected:
        void* interfaceFor(REFIID iid) override
        {
            return iid == IID_IConnectionPointContainer ? static_cast<IConnectionPointContainer*>(this) : nullptr;
        }

    private:
        vl::ConnectionPointList m_points;
    };
    auto container = vl::ComPtr<IConnectionPointContainer>::adopt(new Container);
    const long withContainer = vl::liveObjectCount();
    EXPECT_GE(withContainer, 2); // the container and its one point
    auto sink = vl::ComPtr<IDispatch>::adopt(new RecordingDispatch);
    DWORD cookie = 0;
    ASSERT_EQ(vl::connectSink(container.get(), IID_IDispatch, sink.get(), &cookie), S_OK);
    {
        vl::ComPtr<IEnumConnectionPoints> points;
        ASSERT_EQ(container->EnumConnectionPoints(&points), S_OK);
        vl::ComPtr<IConnectionPoint> point;
        ASSERT_EQ(container->FindConnectionPoint(IID_IDispatch, &point), S_OK);
        vl::ComPtr<IEnumConnections> connections;
        ASSERT_EQ(point->EnumConnections(&connections), S_OK);
        EXPECT_EQ(vl::liveObjectCount(), withContainer + 3); // the sink and two enumerators
    }
    EXPECT_EQ(vl::liveObjectCount(), withContainer + 1);
    EXPECT_EQ(vl::disconnectSink(container.get(), IID_IDispatch, cookie), S_OK);
}

// The content a variant of type vt may own, made real so that a wrong free or a missed one shows.
struct Content {
    VARIANT target {}; // what a by-ref variant points at; never owned by the variant
    BSTR string = nullptr;
    IUnknown* object = nullptr;
    SAFEARRAY* array = nullptr;
};

// Fills v for vt with content that a correct clear frees exactly once.
void fill(VARIANT& v, VARTYPE vt, Content& content)
{
    VariantInit(&v);
    v.vt = vt;
    const VARTYPE base = vt & VT_TYPEMASK;
    if (vt & VT_BYREF) {
        VariantInit(&content.target);
        v.byref = &content.target; // zeroed storage of 16 bytes serves every by-ref type
        return;
    }
    if (vt & VT_ARRAY) {
        content.array = SafeArrayCreateVector(base, 0, 2);
        if (content.array) {
            LONG index = 1;
            if (base == VT_BSTR) {
                vl::BStr text(u"element");
                SafeArrayPutElement(content.array, &index, text.get());
            } else if (base == VT_UNKNOWN || base == VT_DISPATCH) {
                auto element = vl::ComPtr<IDispatch>::adopt(new RecordingDispatch);
                SafeArrayPutElement(content.array, &index, element.get());
            } else if (base == VT_VARIANT) {
                vl::Variant element = vl::Variant::fromString(u"element in a variant");
                SafeArrayPutElement(content.array, &index, element.ptr());
            }
        }
        v.parray = content.array;
        return;
    }
    switch (base) {
    case VT_BSTR:
        content.string = SysAllocString(u"sweep");
        v.bstrVal = content.string;
        break;
    case VT_UNKNOWN:
    case VT_DISPATCH:
        content.object = static_cast<IDispatch*>(new RecordingDispatch);
        v.punkVal = content.object;
        break;
    default:
        v.llVal = 0;
        break;
    }
}

// Frees by hand what a refused VariantClear left in v.
void freeContent(const VARIANT& v, const Content& content)
{
    if (v.vt & VT_BYREF)
        return;
    if (content.array) {
        EXPECT_EQ(SafeArrayDestroy(content.array), S_OK);
    }
    if (content.string)
        SysFreeString(content.string);
    if (content.object)
        content.object->Release();
}

TEST_F(LiveObjects, EveryVariantTypeThroughCopyAndClear)
{
    int accepted = 0;
    for (unsigned type = 0; type <= 0xFFFF; ++type) {
        const auto vt = static_cast<VARTYPE>(type);
        Content content;
        VARIANT source;
        fill(source, vt, content);

        VARIANT copy;
        VariantInit(&copy);
        const HRESULT copied = VariantCopy(&copy, &source);
        ASSERT_TRUE(copied == S_OK || copied == DISP_E_BADVARTYPE)
            << "VariantCopy of vt " << std::hex << type << " answered " << copied;
        EXPECT_EQ(copied == S_OK, vl::isValidVariantType(vt)) << std::hex << type;
        if (copied == S_OK) {
            EXPECT_EQ(copy.vt, vt);
            EXPECT_EQ(VariantClear(&copy), S_OK) << std::hex << type;
        } else {
            EXPECT_EQ(copy.vt, VT_EMPTY) << "a refused copy changed its target, vt " << std::hex << type;
        }

        const HRESULT cleared = VariantClear(&source);
        ASSERT_TRUE(cleared == S_OK || cleared == DISP_E_BADVARTYPE)
            << "VariantClear of vt " << std::hex << type << " answered " << cleared;
        EXPECT_EQ(cleared, copied) << std::hex << type;
        if (cleared == S_OK) {
            EXPECT_EQ(source.vt, VT_EMPTY);
            ++accepted;
        } else {
            EXPECT_EQ(source.vt, vt) << "a refused clear changed the variant";
            freeContent(source, content);
        }
        if (HasFatalFailure())
            return;
    }
    EXPECT_GT(accepted, 40);
}

} // namespace
