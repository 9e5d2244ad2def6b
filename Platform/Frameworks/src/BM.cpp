#include "BM.hpp"

#include "HostBackend.hpp"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {
// The handle is the address of `data`, the block's first member.
struct Block {
    char* data;
    size_t size;
};

Block* BlockOf(GSHandle handle)
{
    return reinterpret_cast<Block*>(handle);
}

GSHandle NewHandle(size_t size)
{
    auto* block = new (std::nothrow) Block {nullptr, size};
    if (block == nullptr)
        return nullptr;
    block->data = static_cast<char*>(std::malloc(size > 0 ? size : 1));
    if (block->data == nullptr) {
        delete block;
        return nullptr;
    }
    return &block->data;
}
}  // namespace

// Each memory call can be made to run out on purpose (the host's memory faults): an allocator
// then answers no handle, a resizer its error with the block left as it was.

GSHandle BMhAll(size_t size)
{
    if (Platform::FailMemoryCall("BMhAll", size))
        return nullptr;
    return NewHandle(size);
}

GSHandle BMhAllClear(size_t size)
{
    if (Platform::FailMemoryCall("BMhAllClear", size))
        return nullptr;
    GSHandle handle = NewHandle(size);
    if (handle != nullptr && size > 0)
        std::memset(*handle, 0, size);
    return handle;
}

void BMhKill(GSHandle* handle)
{
    if (handle == nullptr || *handle == nullptr)
        return;
    Block* block = BlockOf(*handle);
    std::free(block->data);
    delete block;
    *handle = nullptr;
}

size_t BMhGetSize(GSHandle handle)
{
    return handle != nullptr ? BlockOf(handle)->size : 0;
}

GSErrCode BMhSetSize(GSHandle handle, size_t size)
{
    if (handle == nullptr)
        return ErrCode::General;
    Block* block = BlockOf(handle);
    if (const auto error = Platform::FailMemoryCall("BMhSetSize", size, block->size))
        return *error;
    char* grown = static_cast<char*>(std::realloc(block->data, size > 0 ? size : 1));
    if (grown == nullptr)
        return ErrCode::Memory;
    if (size > block->size)
        std::memset(grown + block->size, 0, size - block->size);
    block->data = grown;
    block->size = size;
    return NoError;
}

GSHandle BMhDuplicate(GSHandle handle)
{
    if (handle == nullptr)
        return nullptr;
    const size_t size = BMhGetSize(handle);
    if (Platform::FailMemoryCall("BMhDuplicate", size))
        return nullptr;
    GSHandle copy = NewHandle(size);
    if (copy != nullptr && size > 0)
        std::memcpy(*copy, *handle, size);
    return copy;
}
