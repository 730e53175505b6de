#include "TestObjects.h"

namespace
{

// {7A0C1B2D-3E4F-4051-8263-748596A7B8C9}
constexpr IID DIID_TestEvents = { 0x7A0C1B2D, 0x3E4F, 0x4051, { 0x82, 0x63, 0x74, 0x85, 0x96, 0xA7, 0xB8, 0xC9 } };

class Source : public vl::ComObject<IConnectionPointContainer>
{
public:
    Source()
        : m_points(this)
    {
        events = m_points.add(DIID_TestEvents);
        changes = m_points.add(IID_IPropertyNotifySink);
    }
    HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) override
    {
        return m_points.EnumConnectionPoints(points);
    }
    HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) override
    {
        return m_points.FindConnectionPoint(iid, point);
    }
    vl::ConnectionPoint* events;
    vl::ConnectionPoint* changes;

protected:
    void* interfaceFor(REFIID iid) override
    {
        return iid == IID_IConnectionPointContainer ? static_cast<IConnectionPointContainer*>(this) : nullptr;
    }

private:
    vl::ConnectionPointList m_points;
};

using ConnectionPointTest = ComTest;

TEST_F(ConnectionPointTest, AdviseHandsOutCookiesAndUnadviseTakesThem)
{
    auto source = vl::ComPtr<Source>::adopt(new Source);
    auto first = vl::ComPtr<RecordingDispatch>::adopt(new RecordingDispatch(DIID_TestEvents));
    auto second = vl::ComPtr<RecordingDispatch>::adopt(new RecordingDispatch(DIID_TestEvents));
    DWORD cookie1 = 0, cookie2 = 0;
    ASSERT_EQ(vl::connectSink(source->unknown(), DIID_TestEvents, first->unknown(), &cookie1), S_OK);
    ASSERT_EQ(vl::connectSink(source->unknown(), DIID_TestEvents, second->unknown(), &cookie2), S_OK);
    EXPECT_NE(cookie1, 0u);
    EXPECT_NE(cookie1, cookie2);
    EXPECT_EQ(first->refCount(), 2u);

    VARIANT arg;
    VariantInit(&arg);
    DISPPARAMS params { &arg, nullptr, 1, 0 };
    EXPECT_EQ(source->events->invokeAll(201, &params), S_OK);
    ASSERT_EQ(first->calls.size(), 1u);
    EXPECT_EQ(first->calls[0].dispId, 201);
    EXPECT_EQ(first->calls[0].flags, DISPATCH_METHOD);
    EXPECT_EQ(first->calls[0].argCount, 1u);
    EXPECT_EQ(second->calls.size(), 1u);

    EXPECT_EQ(vl::disconnectSink(source->unknown(), DIID_TestEvents, cookie1), S_OK);
    EXPECT_EQ(vl::disconnectSink(source->unknown(), DIID_TestEvents, cookie1), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(first->refCount(), 1u);
    source->events->invokeAll(202, nullptr);
    EXPECT_EQ(first->calls.size(), 1u);
    EXPECT_EQ(second->calls.size(), 2u);

    DWORD cookie3 = 0;
    ASSERT_EQ(vl::connectSink(source->unknown(), DIID_TestEvents, first->unknown(), &cookie3), S_OK);
    EXPECT_NE(cookie3, cookie1) << "cookies are never reused";
    source->events->unadviseAll();
    EXPECT_EQ(source->events->connectionCount(), 0u);
    EXPECT_EQ(first->refCount(), 1u);
    EXPECT_EQ(second->refCount(), 1u);
}

TEST_F(ConnectionPointTest, SinkWithoutTheInterfaceCannotConnect)
{
    auto source = vl::ComPtr<Source>::adopt(new Source);
    auto sink = vl::ComPtr<RecordingDispatch>::adopt(new RecordingDispatch);
    DWORD cookie = 7;
    EXPECT_EQ(vl::connectSink(source->unknown(), DIID_TestEvents, sink->unknown(), &cookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(sink->refCount(), 1u);
    // {00000000-...} is no point of this container
    vl::ComPtr<IConnectionPoint> point;
    EXPECT_EQ(source->FindConnectionPoint(IID_IDispatch, &point), CONNECT_E_NOCONNECTION);
    auto plain = vl::ComPtr<IDispatch>::adopt(new RecordingDispatch);
    EXPECT_EQ(vl::connectSink(plain.get(), DIID_TestEvents, sink->unknown(), &cookie), E_NOINTERFACE);
}

TEST_F(ConnectionPointTest, PointKnowsItsInterfaceAndContainer)
{
    auto source = vl::ComPtr<Source>::adopt(new Source);
    vl::ComPtr<IConnectionPoint> point;
    ASSERT_EQ(source->FindConnectionPoint(IID_IPropertyNotifySink, &point), S_OK);
    IID iid {};
    EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
    EXPECT_EQ(iid, IID_IPropertyNotifySink);
    vl::ComPtr<IConnectionPointContainer> container;
    EXPECT_EQ(point->GetConnectionPointContainer(&container), S_OK);
    EXPECT_EQ(static_cast<void*>(container.get()), static_cast<void*>(source.get()));
    container.reset();
    source.reset();
    // the point outlives its container without dangling
    EXPECT_EQ(point->GetConnectionPointContainer(&container), E_UNEXPECTED);
    EXPECT_FALSE(container);
}

TEST_F(ConnectionPointTest, EnumeratorsListPointsAndConnections)
{
    auto source = vl::ComPtr<Source>::adopt(new Source);
    vl::ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(source->EnumConnectionPoints(&points), S_OK);
    IConnectionPoint* found[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(points->Next(3, found, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 2u);
    for (ULONG i = 0; i < fetched; ++i)
        found[i]->Release();

    auto sink = vl::ComPtr<RecordingDispatch>::adopt(new RecordingDispatch(DIID_TestEvents));
    DWORD cookie = 0;
    source->events->Advise(sink->unknown(), &cookie);
    vl::ComPtr<IEnumConnections> connections;
    ASSERT_EQ(source->events->EnumConnections(&connections), S_OK);
    CONNECTDATA data {};
    ASSERT_EQ(connections->Next(1, &data, nullptr), S_OK);
    EXPECT_EQ(data.dwCookie, cookie);
    data.pUnk->Release();
    EXPECT_EQ(connections->Next(1, &data, nullptr), S_FALSE);
    EXPECT_EQ(source->events->Unadvise(cookie), S_OK);
}

// Skip, Reset and Clone keep one position per enumerator, whichever of the two kinds.
TEST_F(ConnectionPointTest, EnumeratorsSkipResetAndCloneTheirPosition)
{
    auto source = vl::ComPtr<Source>::adopt(new Source);
    vl::ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(source->EnumConnectionPoints(&points), S_OK);
    EXPECT_EQ(points->Skip(1), S_OK);
    vl::ComPtr<IEnumConnectionPoints> pointsCopy;
    ASSERT_EQ(points->Clone(&pointsCopy), S_OK);
    IConnectionPoint* point = nullptr;
    ASSERT_EQ(pointsCopy->Next(1, &point, nullptr), S_OK);
    IID iid {};
    point->GetConnectionInterface(&iid);
    point->Release();
    EXPECT_EQ(iid, IID_IPropertyNotifySink);
    EXPECT_EQ(points->Skip(2), S_FALSE);
    EXPECT_EQ(points->Next(1, &point, nullptr), S_FALSE);
    EXPECT_EQ(points->Reset(), S_OK);
    ASSERT_EQ(points->Next(1, &point, nullptr), S_OK);
    point->GetConnectionInterface(&iid);
    point->Release();
    EXPECT_EQ(iid, DIID_TestEvents);

    auto first = vl::ComPtr<RecordingDispatch>::adopt(new RecordingDispatch(DIID_TestEvents));
    auto second = vl::ComPtr<RecordingDispatch>::adopt(new RecordingDispatch(DIID_TestEvents));
    DWORD cookies[2] = {};
    source->events->Advise(first->unknown(), &cookies[0]);
    source->events->Advise(second->unknown(), &cookies[1]);
    vl::ComPtr<IEnumConnections> connections;
    ASSERT_EQ(source->events->EnumConnections(&connections), S_OK);
    EXPECT_EQ(connections->Skip(1), S_OK);
    vl::ComPtr<IEnumConnections> connectionsCopy;
    ASSERT_EQ(connections->Clone(&connectionsCopy), S_OK);
    CONNECTDATA data {};
    ASSERT_EQ(connectionsCopy->Next(1, &data, nullptr), S_OK);
    EXPECT_EQ(data.dwCookie, cookies[1]);
    data.pUnk->Release();
    EXPECT_EQ(connections->Reset(), S_OK);
    CONNECTDATA both[2] = {};
    ULONG fetched = 0;
    ASSERT_EQ(connections->Next(2, both, &fetched), S_OK);
    EXPECT_EQ(fetched, 2u);
    EXPECT_EQ(both[0].dwCookie, cookies[0]);
    for (CONNECTDATA& each : both)
        each.pUnk->Release();
    EXPECT_EQ(connections->Clone(nullptr), E_POINTER);
    source->events->unadviseAll();
}

} // namespace
