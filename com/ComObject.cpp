#include "ComObject.h"

namespace
{
// A tally for tests, never a guard for memory: relaxed order keeps it at one uncontended add.
std::atomic<long> g_liveObjects { 0 };
}

namespace vl
{

long liveObjectCount()
{
    return g_liveObjects.load(std::memory_order_relaxed);
}

ObjectCounter::ObjectCounter()
{
    g_liveObjects.fetch_add(1, std::memory_order_relaxed);
}
ObjectCounter::ObjectCounter(const ObjectCounter&)
{
    g_liveObjects.fetch_add(1, std::memory_order_relaxed);
}
ObjectCounter::~ObjectCounter()
{
    g_liveObjects.fetch_sub(1, std::memory_order_relaxed);
}

} // namespace vl
