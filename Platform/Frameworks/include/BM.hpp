// Host memory handles: a handle points at a pointer to a sized block, so the block can move.
#pragma once

#include "GSRoot.hpp"

#include <cstddef>

using GSPtr = char*;
using GSHandle = char**;

GSHandle BMhAll(size_t size);
GSHandle BMhAllClear(size_t size);
void BMhKill(GSHandle* handle);
size_t BMhGetSize(GSHandle handle);
GSErrCode BMhSetSize(GSHandle handle, size_t size);  // new bytes are zeroed
GSHandle BMhDuplicate(GSHandle handle);

template <class T>
T** BMTypedHandle(GSHandle handle)
{
    return reinterpret_cast<T**>(handle);
}
