// The owner of a block from malloc: freed with free() when it goes.
// Move-only. No Windows header.
#pragma once

#include <cstdlib>
#include <memory>

struct FreeDeleter {
    void operator()(void* block) const { std::free(block); }
};

// CHeapBlock<char> block(static_cast<char*>(std::malloc(size)));
template <typename T>
using CHeapBlock = std::unique_ptr<T, FreeDeleter>;
