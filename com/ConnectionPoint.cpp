#include "ConnectionPoint.h"

#include <algorithm>

namespace
{

void copyItem(const std::pair<DWORD, vl::ComPtr<IUnknown>>& item, CONNECTDATA& out)
{
    out.dwCookie = item.first;
    out.pUnk = nullptr;
    item.second.copyTo(&out.pUnk);
}

void copyItem(const vl::ComPtr<IConnectionPoint>& item, IConnectionPoint*& out)
{
    item.copyTo(&out);
}

// A snapshot enumerator: the items are taken at creation, so later changes do not disturb it.
// Next hands out counted references (copyItem).
template <class Enum, const IID& enumIid, class Out, class Item> class SnapshotEnumerator : public vl::ComObject<Enum>
{
public:
    explicit SnapshotEnumerator(std::vector<Item> items)
        : m_items(std::move(items))
    {
    }

    HRESULT Next(ULONG count, Out* items, ULONG* fetched) override
    {
        if (!items || (count > 1 && !fetched))
            return E_POINTER;
        ULONG n = 0;
        for (; n < count && m_position < m_items.size(); ++n, ++m_position)
            copyItem(m_items[m_position], items[n]);
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG count) override
    {
        const size_t left = m_items.size() - m_position;
        m_position += std::min<size_t>(count, left);
        return count <= left ? S_OK : S_FALSE;
    }
    HRESULT Reset() override
    {
        m_position = 0;
        return S_OK;
    }
    HRESULT Clone(Enum** copy) override
    {
        if (!copy)
            return E_POINTER;
        auto* clone = new SnapshotEnumerator(m_items);
        clone->m_position = m_position;
        *copy = clone;
        return S_OK;
    }

protected:
    void* interfaceFor(REFIID iid) override { return iid == enumIid ? static_cast<Enum*>(this) : nullptr; }

private:
    std::vector<Item> m_items;
    size_t m_position = 0;
};

using ConnectionEnumerator = SnapshotEnumerator<IEnumConnections, IID_IEnumConnections, CONNECTDATA,
    std::pair<DWORD, vl::ComPtr<IUnknown>>>;
using PointEnumerator
    = SnapshotEnumerator<IEnumConnectionPoints, IID_IEnumConnectionPoints, IConnectionPoint*, vl::ComPtr<IConnectionPoint>>;

} // namespace

namespace vl
{

ConnectionPoint::ConnectionPoint(IConnectionPointContainer* container, REFIID iid)
    : m_container(container)
    , m_iid(iid)
{
}

ConnectionPoint::~ConnectionPoint() = default;

void* ConnectionPoint::interfaceFor(REFIID iid)
{
    return iid == IID_IConnectionPoint ? static_cast<IConnectionPoint*>(this) : nullptr;
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* iid)
{
    if (!iid)
        return E_POINTER;
    *iid = m_iid;
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container)
{
    if (!container)
        return E_POINTER;
    std::lock_guard lock(m_mutex);
    *container = m_container;
    if (!m_container)
        return E_UNEXPECTED;
    m_container->AddRef();
    return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie)
{
    if (!cookie)
        return E_POINTER;
    *cookie = 0;
    if (!sink)
        return E_POINTER;
    ComPtr<IUnknown> connected;
    if (FAILED(sink->QueryInterface(m_iid, connected.voidOut())) || !connected)
        return CONNECT_E_CANNOTCONNECT;
    std::lock_guard lock(m_mutex);
    *cookie = m_nextCookie++;
    m_connections.push_back({ *cookie, std::move(connected) });
    return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD cookie)
{
    ComPtr<IUnknown> released; // let go outside the lock: the sink's Release may call back
    std::lock_guard lock(m_mutex);
    auto it = std::find_if(
        m_connections.begin(), m_connections.end(), [&](const Connection& c) { return c.cookie == cookie; });
    if (it == m_connections.end())
        return CONNECT_E_NOCONNECTION;
    released = std::move(it->sink);
    m_connections.erase(it);
    return S_OK;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** connections)
{
    if (!connections)
        return E_POINTER;
    std::vector<std::pair<DWORD, ComPtr<IUnknown>>> items;
    {
        std::lock_guard lock(m_mutex);
        for (const Connection& c : m_connections)
            items.emplace_back(c.cookie, c.sink);
    }
    *connections = new ConnectionEnumerator(std::move(items));
    return S_OK;
}

void ConnectionPoint::disconnectContainer()
{
    std::lock_guard lock(m_mutex);
    m_container = nullptr;
}

void ConnectionPoint::unadviseAll()
{
    std::vector<Connection> released;
    {
        std::lock_guard lock(m_mutex);
        released.swap(m_connections);
    }
}

size_t ConnectionPoint::connectionCount() const
{
    std::lock_guard lock(m_mutex);
    return m_connections.size();
}

std::vector<ComPtr<IUnknown>> ConnectionPoint::sinks() const
{
    std::lock_guard lock(m_mutex);
    std::vector<ComPtr<IUnknown>> result;
    for (const Connection& c : m_connections)
        result.push_back(c.sink);
    return result;
}

HRESULT ConnectionPoint::invokeAll(DISPID dispId, DISPPARAMS* params)
{
    DISPPARAMS none { nullptr, nullptr, 0, 0 };
    HRESULT first = S_OK;
    for (const ComPtr<IDispatch>& sink : sinksAs<IDispatch>()) {
        const HRESULT hr = sink->Invoke(
            dispId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, params ? params : &none, nullptr, nullptr, nullptr);
        if (FAILED(hr) && SUCCEEDED(first))
            first = hr;
    }
    return first;
}

ConnectionPointList::ConnectionPointList(IConnectionPointContainer* container)
    : m_container(container)
{
}

ConnectionPointList::~ConnectionPointList()
{
    for (const auto& point : m_points)
        point->disconnectContainer();
}

ConnectionPoint* ConnectionPointList::add(REFIID iid)
{
    if (ConnectionPoint* existing = find(iid))
        return existing;
    m_points.push_back(ComPtr<ConnectionPoint>::adopt(new ConnectionPoint(m_container, iid)));
    return m_points.back().get();
}

ConnectionPoint* ConnectionPointList::find(REFIID iid) const
{
    for (const auto& point : m_points)
        if (point->connectionInterface() == iid)
            return point.get();
    return nullptr;
}

HRESULT ConnectionPointList::EnumConnectionPoints(IEnumConnectionPoints** points)
{
    if (!points)
        return E_POINTER;
    std::vector<ComPtr<IConnectionPoint>> items;
    for (const auto& point : m_points)
        items.emplace_back(point.get());
    *points = new PointEnumerator(std::move(items));
    return S_OK;
}

HRESULT ConnectionPointList::FindConnectionPoint(REFIID iid, IConnectionPoint** point)
{
    if (!point)
        return E_POINTER;
    *point = nullptr;
    ConnectionPoint* found = find(iid);
    if (!found)
        return CONNECT_E_NOCONNECTION;
    found->AddRef();
    *point = found;
    return S_OK;
}

namespace
{
HRESULT findPoint(IUnknown* source, REFIID iid, ComPtr<IConnectionPoint>& point)
{
    if (!source)
        return E_POINTER;
    ComPtr<IConnectionPointContainer> container;
    if (const HRESULT hr = source->QueryInterface(IID_IConnectionPointContainer, container.voidOut()); FAILED(hr))
        return hr;
    return container->FindConnectionPoint(iid, &point);
}
} // namespace

HRESULT connectSink(IUnknown* source, REFIID iid, IUnknown* sink, DWORD* cookie)
{
    if (!cookie)
        return E_POINTER;
    *cookie = 0;
    ComPtr<IConnectionPoint> point;
    if (const HRESULT hr = findPoint(source, iid, point); FAILED(hr))
        return hr;
    return point->Advise(sink, cookie);
}

HRESULT disconnectSink(IUnknown* source, REFIID iid, DWORD cookie)
{
    ComPtr<IConnectionPoint> point;
    if (const HRESULT hr = findPoint(source, iid, point); FAILED(hr))
        return hr;
    return point->Unadvise(cookie);
}

} // namespace vl
