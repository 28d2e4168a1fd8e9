// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli.h"
#include "hostprocess.h"

#include <cstdio>
#include <iostream>

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <new>

// Texts of many megabytes pass through a few buffers, each touched for the first time.
// On a virtual machine a fresh 4 KiB page costs microseconds to map, more than copying it;
// asking for transparent huge pages before a large block is first touched maps it 2 MiB
// at a time. malloc() hands out such blocks as fresh mappings of their own, so the advice
// applies to this block only, and free() returns it as usual.
void *operator new(std::size_t size)
{
    constexpr std::size_t LargeBlock = std::size_t{8} << 20;
    constexpr std::uintptr_t HugePage = std::uintptr_t{2} << 20;
    void *block = std::malloc(size != 0 ? size : 1);
    if (!block)
        throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    if (size >= LargeBlock) {
        const auto start = reinterpret_cast<std::uintptr_t>(block);
        const std::uintptr_t from = (start + HugePage - 1) & ~(HugePage - 1);
        const std::uintptr_t to = (start + size) & ~(HugePage - 1);
        if (from < to)
            madvise(reinterpret_cast<void *>(from), to - from, MADV_HUGEPAGE);
    }
#endif
    return block;
}

void operator delete(void *block) noexcept
{
    std::free(block);
}

void operator delete(void *block, std::size_t) noexcept
{
    std::free(block);
}
#endif

int main(int argc, char **argv)
{
    CodeTarvoCli::useBinaryStandardStreams();
    return CodeTarvoCli::run(CodeTarvoCli::utf8Arguments(argc, argv), fileno(stdin),
                             fileno(stdout), std::cerr, CodeTarvoCli::utf8Environment);
}
