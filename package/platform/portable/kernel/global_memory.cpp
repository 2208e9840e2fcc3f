// Portable KERNEL32: global memory blocks.
//
// GlobalAlloc/GlobalLock/GlobalUnlock/GlobalFree/GlobalSize for the package's text
// blocks. A handle points at a header followed by the block's bytes; "movable"
// blocks never actually move here, but the lock count is kept as Windows does.
// Live blocks are kept in a set, so a handle that is not a live block of ours (a
// freed one included) is refused without reading the memory it points at.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "../win32_portable.h"
#include "live_handles.h"

namespace {

constexpr uint32_t live_magic = 0x474c4f42;  // "GLOB"
constexpr uint32_t dead_magic = 0x46524545;  // "FREE"

struct GlobalBlock {
    uint32_t magic;
    uint32_t lock_count;
    size_t size;
    alignas(std::max_align_t) unsigned char data[1];
};

portable::LiveHandles<GlobalBlock>& live_blocks() {
    static portable::LiveHandles<GlobalBlock> blocks;
    return blocks;
}

GlobalBlock* live_block(HGLOBAL handle) {
    return live_blocks().find(handle);
}

}  // namespace

HGLOBAL WINAPI GlobalAlloc(UINT flags, size_t bytes) {
    // At most 2^40 bytes, and never a size whose header would wrap size_t (32
    // bits in the web build) into a short allocation.
    constexpr uint64_t largest = uint64_t(1) << 40;
    if (uint64_t(bytes) > largest || bytes > SIZE_MAX - offsetof(GlobalBlock, data) - 1)
        return nullptr;
    size_t total = offsetof(GlobalBlock, data) + (bytes == 0 ? 1 : bytes);
    void* memory = std::malloc(total);
    if (memory == nullptr) return nullptr;
    auto* block = static_cast<GlobalBlock*>(memory);
    block->magic = live_magic;
    block->lock_count = 0;
    block->size = bytes;
    if (flags & GMEM_ZEROINIT) std::memset(block->data, 0, bytes == 0 ? 1 : bytes);
    live_blocks().add(block);
    return block;
}

LPVOID WINAPI GlobalLock(HGLOBAL handle) {
    GlobalBlock* block = live_block(handle);
    if (block == nullptr) return nullptr;
    ++block->lock_count;
    return block->data;
}

BOOL WINAPI GlobalUnlock(HGLOBAL handle) {
    GlobalBlock* block = live_block(handle);
    if (block == nullptr || block->lock_count == 0) return FALSE;
    --block->lock_count;
    return block->lock_count != 0;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL handle) {
    GlobalBlock* block = live_block(handle);
    if (block == nullptr) return handle;  // Windows returns the handle on failure
    live_blocks().remove(block);
    block->magic = dead_magic;
    std::free(block);
    return nullptr;
}

size_t WINAPI GlobalSize(HGLOBAL handle) {
    GlobalBlock* block = live_block(handle);
    return block == nullptr ? 0 : block->size;
}
