// winsim: the process heap (HeapAlloc and friends), counted so that tests see every block the
// program leaves allocated.
#pragma once

#include "winsim/win32.h"

typedef ULONG_PTR SIZE_T;

#define HEAP_ZERO_MEMORY 0x00000008

HANDLE WINAPI GetProcessHeap();
LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
LPVOID WINAPI HeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T bytes);
BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, LPVOID block);
