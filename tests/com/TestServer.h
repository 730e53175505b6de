#pragma once
// Class ids served by the test server library.

#include "ComTypes.h"

// An object answering IDispatch whose Invoke of DISPID_VALUE yields 42.
// {6B0F5C1E-3D1A-4C55-9E0B-7A51C2D4E601}
inline constexpr CLSID CLSID_TestServerObject
    = { 0x6B0F5C1E, 0x3D1A, 0x4C55, { 0x9E, 0x0B, 0x7A, 0x51, 0xC2, 0xD4, 0xE6, 0x01 } };
// A class whose factory fails every CreateInstance with E_ACCESSDENIED.
// {6B0F5C1E-3D1A-4C55-9E0B-7A51C2D4E602}
inline constexpr CLSID CLSID_TestServerFailing
    = { 0x6B0F5C1E, 0x3D1A, 0x4C55, { 0x9E, 0x0B, 0x7A, 0x51, 0xC2, 0xD4, 0xE6, 0x02 } };
