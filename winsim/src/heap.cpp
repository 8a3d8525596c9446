// winsim: the process heap. Blocks come from the C heap and are counted; a block allocated
// without HEAP_ZERO_MEMORY is filled with 0xCD so that code trusting fresh memory is caught.
#include "devices_state.h"

#include <cstdlib>
#include <cstring>

using namespace winsim::detail;

namespace {

const uintptr_t kProcessHeap = 0x7e0000;
const BYTE kFreshFill = 0xCD;

bool IsProcessHeap(HANDLE heap) {
    return reinterpret_cast<uintptr_t>(heap) == kProcessHeap;
}

} // namespace

namespace winsim {

int HeapBlockCount() {
    return int(Devices().heapBlocks.size());
}

} // namespace winsim

HANDLE WINAPI GetProcessHeap() {
    Fails("GetProcessHeap");
    return reinterpret_cast<HANDLE>(kProcessHeap);
}

LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
    if (Fails("HeapAlloc") || !IsProcessHeap(heap))
        return nullptr;
    // Zero bytes still make a distinct block, as on Windows.
    void* block = std::malloc(bytes ? bytes : 1);
    if (!block)
        return nullptr;
    std::memset(block, (flags & HEAP_ZERO_MEMORY) ? 0 : kFreshFill, bytes);
    Devices().heapBlocks[block] = bytes;
    return block;
}

LPVOID WINAPI HeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T bytes) {
    // On failure the old block stays allocated and unchanged.
    if (Fails("HeapReAlloc") || !IsProcessHeap(heap))
        return nullptr;
    auto& blocks = Devices().heapBlocks;
    auto it = blocks.find(block);
    if (it == blocks.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    size_t old = it->second;
    void* grown = std::malloc(bytes ? bytes : 1);
    if (!grown)
        return nullptr;
    std::memcpy(grown, block, old < bytes ? old : bytes);
    if (bytes > old)
        std::memset(static_cast<BYTE*>(grown) + old, (flags & HEAP_ZERO_MEMORY) ? 0 : kFreshFill,
                    bytes - old);
    std::free(block);
    blocks.erase(it);
    blocks[grown] = bytes;
    return grown;
}

BOOL WINAPI HeapFree(HANDLE heap, DWORD, LPVOID block) {
    if (Fails("HeapFree") || !IsProcessHeap(heap))
        return FALSE;
    if (!block)
        return TRUE;
    auto& blocks = Devices().heapBlocks;
    auto it = blocks.find(block);
    if (it == blocks.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::free(block);
    blocks.erase(it);
    return TRUE;
}
