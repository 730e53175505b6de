#include "ComObject.h"

namespace
{
std::atomic<long> g_liveObjects { 0 };
}

namespace vl
{

long liveObjectCount()
{
    return g_liveObjects.load();
}

ObjectCounter::ObjectCounter()
{
    ++g_liveObjects;
}
ObjectCounter::ObjectCounter(const ObjectCounter&)
{
    ++g_liveObjects;
}
ObjectCounter::~ObjectCounter()
{
    --g_liveObjects;
}

} // namespace vl
