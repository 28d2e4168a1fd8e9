// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// CODETARVO_VECTOR_CLONES builds a loop the compiler vectorises for the baseline instruction
// set, for AVX2 and for AVX-512 (x86-64-v4), the best the processor has picked when the
// program loads; elsewhere it is built once, as it is. Defining CODETARVO_NO_CLONES builds it
// once for the compiler's target, so that a test run can check one instruction set's build on
// a processor that has a better one.
#if defined(__x86_64__) && defined(__ELF__) && (defined(__GNUC__) || defined(__clang__)) &&        \
    !defined(CODETARVO_NO_CLONES)
#define CODETARVO_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#else
#define CODETARVO_VECTOR_CLONES
#endif

// CODETARVO_RESTRICT: a buffer a loop writes never overlaps one it reads, and saying so spares
// the compiler a check.
#if defined(__GNUC__) || defined(__clang__)
#define CODETARVO_RESTRICT __restrict__
#else
#define CODETARVO_RESTRICT
#endif
