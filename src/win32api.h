// The one platform switch: the real Windows SDK for the shipped program, winsim elsewhere.
// Program modules include this header and nothing platform-specific.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <mmsystem.h>
#include <shellapi.h>
#include <objbase.h>
#include <oleauto.h>
#include <dshow.h>
#include <setupapi.h>
// mingw-w64's hidsdi.h and hidpi.h lack the C linkage block the SDK's have.
extern "C" {
#include <hidsdi.h>
}
#include <ks.h>
#include "win32_ks.h"
#else
#include "winsim/win32.h"
#endif
