#pragma once
// The program's global operator new and delete, over two functions the including file defines
// before including this (once per program):
//   void* Allocate(std::size_t) noexcept;  // nullptr: the allocation fails
//   void Release(void*) noexcept;
// A failed Allocate throws std::bad_alloc from the throwing forms, as the standard ones do, so a
// test or fuzz target can make any allocation of the code under test fail.
#include <cstddef>
#include <new>

void* operator new(std::size_t n) {
    if (void* p = Allocate(n)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
    if (void* p = Allocate(n)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    return Allocate(n);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    return Allocate(n);
}
void operator delete(void* p) noexcept {
    Release(p);
}
void operator delete[](void* p) noexcept {
    Release(p);
}
void operator delete(void* p, std::size_t) noexcept {
    Release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    Release(p);
}
