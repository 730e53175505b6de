#include "ConnectionPoint.h"

namespace vl {
ConnectionPoint::ConnectionPoint(IConnectionPointContainer* container, REFIID iid) : m_container(container), m_iid(iid) {}
ConnectionPoint::~ConnectionPoint() = default;
HRESULT ConnectionPoint::GetConnectionInterface(IID*) { return E_NOTIMPL; }
HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer**) { return E_NOTIMPL; }
HRESULT ConnectionPoint::Advise(IUnknown*, DWORD*) { return E_NOTIMPL; }
HRESULT ConnectionPoint::Unadvise(DWORD) { return E_NOTIMPL; }
HRESULT ConnectionPoint::EnumConnections(IEnumConnections**) { return E_NOTIMPL; }
void ConnectionPoint::disconnectContainer() {}
void ConnectionPoint::unadviseAll() {}
size_t ConnectionPoint::connectionCount() const { return 0; }
std::vector<ComPtr<IUnknown>> ConnectionPoint::sinks() const { return {}; }
HRESULT ConnectionPoint::invokeAll(DISPID, DISPPARAMS*) { return E_NOTIMPL; }
void* ConnectionPoint::interfaceFor(REFIID) { return nullptr; }
ConnectionPointList::ConnectionPointList(IConnectionPointContainer* container) : m_container(container) {}
ConnectionPointList::~ConnectionPointList() = default;
ConnectionPoint* ConnectionPointList::add(REFIID) { return nullptr; }
ConnectionPoint* ConnectionPointList::find(REFIID) const { return nullptr; }
HRESULT ConnectionPointList::EnumConnectionPoints(IEnumConnectionPoints**) { return E_NOTIMPL; }
HRESULT ConnectionPointList::FindConnectionPoint(REFIID, IConnectionPoint**) { return E_NOTIMPL; }
HRESULT connectSink(IUnknown*, REFIID, IUnknown*, DWORD*) { return E_NOTIMPL; }
HRESULT disconnectSink(IUnknown*, REFIID, DWORD) { return E_NOTIMPL; }
} // namespace vl
