#include "Unknown.h"

#include "BStr.h"

namespace vl
{

void clearExcepInfo(EXCEPINFO& info)
{
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    info = EXCEPINFO {};
}

} // namespace vl
