#pragma once
// <windows.h> as every file of the program takes it, and nothing on other platforms:
// without the min and max macros, which break std::min, std::max and
// numeric_limits<T>::max(), and without the parts nobody here uses (sockets, DDE, RPC).

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif
