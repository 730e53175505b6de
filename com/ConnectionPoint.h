#pragma once
// Connection points: how a control offers outgoing interfaces (events, change notices), and
// ready-made implementations for controls.

#include "ComObject.h"
#include "ComPtr.h"

#include <mutex>
#include <vector>

// {B196B284-BAB4-101A-B69C-00AA00341D07}
inline constexpr IID IID_IConnectionPointContainer
    = { 0xB196B284, 0xBAB4, 0x101A, { 0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07 } };
// {B196B285-BAB4-101A-B69C-00AA00341D07}
inline constexpr IID IID_IEnumConnectionPoints
    = { 0xB196B285, 0xBAB4, 0x101A, { 0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07 } };
// {B196B286-BAB4-101A-B69C-00AA00341D07}
inline constexpr IID IID_IConnectionPoint
    = { 0xB196B286, 0xBAB4, 0x101A, { 0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07 } };
// {B196B287-BAB4-101A-B69C-00AA00341D07}
inline constexpr IID IID_IEnumConnections
    = { 0xB196B287, 0xBAB4, 0x101A, { 0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07 } };

class IConnectionPoint;
class IConnectionPointContainer;

// pUnk is a counted reference that the receiver releases.
struct CONNECTDATA {
    IUnknown* pUnk;
    DWORD dwCookie;
};

// Next hands out up to count counted references; S_FALSE when fewer remained.
class IEnumConnections : public IUnknown
{
public:
    virtual HRESULT Next(ULONG count, CONNECTDATA* items, ULONG* fetched) = 0; // slot 3
    virtual HRESULT Skip(ULONG count) = 0; // slot 4
    virtual HRESULT Reset() = 0; // slot 5
    virtual HRESULT Clone(IEnumConnections** copy) = 0; // slot 6

protected:
    ~IEnumConnections() = default;
};

class IEnumConnectionPoints : public IUnknown
{
public:
    virtual HRESULT Next(ULONG count, IConnectionPoint** items, ULONG* fetched) = 0; // slot 3
    virtual HRESULT Skip(ULONG count) = 0; // slot 4
    virtual HRESULT Reset() = 0; // slot 5
    virtual HRESULT Clone(IEnumConnectionPoints** copy) = 0; // slot 6

protected:
    ~IEnumConnectionPoints() = default;
};

class IConnectionPoint : public IUnknown
{
public:
    virtual HRESULT GetConnectionInterface(IID* iid) = 0; // slot 3
    virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) = 0; // slot 4
    // CONNECT_E_CANNOTCONNECT when sink does not answer the connection interface.
    virtual HRESULT Advise(IUnknown* sink, DWORD* cookie) = 0; // slot 5
    // CONNECT_E_NOCONNECTION for a cookie that is not connected.
    virtual HRESULT Unadvise(DWORD cookie) = 0; // slot 6
    virtual HRESULT EnumConnections(IEnumConnections** connections) = 0; // slot 7

protected:
    ~IConnectionPoint() = default;
};

class IConnectionPointContainer : public IUnknown
{
public:
    virtual HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) = 0; // slot 3
    // CONNECT_E_NOCONNECTION when the container has no point for iid.
    virtual HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) = 0; // slot 4

protected:
    ~IConnectionPointContainer() = default;
};

namespace vl
{

// A connection point holding advised sinks by cookie (cookies count up from 1, never reused).
// Each sink is kept as its interface for the connection IID. The point refers to its container
// without counting it; the container calls disconnectContainer() before it goes, after which
// GetConnectionPointContainer answers E_UNEXPECTED.
class ConnectionPoint : public ComObject<IConnectionPoint>
{
public:
    ConnectionPoint(IConnectionPointContainer* container, REFIID iid);

    HRESULT GetConnectionInterface(IID* iid) override;
    HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) override;
    HRESULT Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT Unadvise(DWORD cookie) override;
    HRESULT EnumConnections(IEnumConnections** connections) override;

    const IID& connectionInterface() const { return m_iid; }
    void disconnectContainer();
    // Drops every connection (a control does this when it closes).
    void unadviseAll();
    size_t connectionCount() const;
    // A snapshot of the sinks, each queried for the connection IID, so a sink that unadvises
    // while being called does not disturb the caller's loop.
    std::vector<ComPtr<IUnknown>> sinks() const;
    template <class I> std::vector<ComPtr<I>> sinksAs() const
    {
        std::vector<ComPtr<I>> result;
        for (const auto& sink : sinks())
            result.push_back(ComPtr<I>(static_cast<I*>(static_cast<void*>(sink.get()))));
        return result;
    }
    // For a dispatch connection interface: Invoke(dispId, DISPATCH_METHOD, params) on each sink
    // in cookie order; answers the first failure (the remaining sinks are still called).
    HRESULT invokeAll(DISPID dispId, DISPPARAMS* params);

protected:
    ~ConnectionPoint() override;
    void* interfaceFor(REFIID iid) override;

private:
    struct Connection {
        DWORD cookie;
        ComPtr<IUnknown> sink;
    };
    mutable std::mutex m_mutex;
    IConnectionPointContainer* m_container;
    IID m_iid;
    DWORD m_nextCookie = 1;
    std::vector<Connection> m_connections;
};

// The connection points of one container, for the container's IConnectionPointContainer methods
// to delegate to. Destroying it disconnects the points from the container.
class ConnectionPointList
{
public:
    explicit ConnectionPointList(IConnectionPointContainer* container);
    ~ConnectionPointList();
    ConnectionPointList(const ConnectionPointList&) = delete;
    ConnectionPointList& operator=(const ConnectionPointList&) = delete;

    // The point for iid, created on first request.
    ConnectionPoint* add(REFIID iid);
    ConnectionPoint* find(REFIID iid) const;

    HRESULT EnumConnectionPoints(IEnumConnectionPoints** points);
    HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point);

private:
    IConnectionPointContainer* m_container;
    std::vector<ComPtr<ConnectionPoint>> m_points;
};

// Connects sink to source's point for iid (through IConnectionPointContainer); answers the
// failure of any step, E_NOINTERFACE when source is not a container.
HRESULT connectSink(IUnknown* source, REFIID iid, IUnknown* sink, DWORD* cookie);
HRESULT disconnectSink(IUnknown* source, REFIID iid, DWORD cookie);

} // namespace vl
