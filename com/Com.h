#pragma once
// The whole component object layer in one include.

#include "BStr.h"
#include "ClassRegistry.h"
#include "ComObject.h"
#include "ComPtr.h"
#include "ComTypes.h"
#include "ConnectionPoint.h"
#include "ErrorInfo.h"
#include "NoTypeInfo.h"
#include "OleFont.h"
#include "OleInterfaces.h"
#include "SafeArray.h"
#include "Stream.h"
#include "SystemMessage.h"
#include "Unknown.h"
#include "Variant.h"
