// Allocator that leaves trivially constructible elements uninitialised on
// resize, so a reader can size its arrays once and fill them in one pass.
#pragma once

#include <memory>
#include <new>
#include <type_traits>
#include <utility>

namespace voxaro {

template <typename T> class TPodAllocator : public std::allocator<T> {
public:
    template <typename U> struct rebind {
        using other = TPodAllocator<U>;
    };
    using std::allocator<T>::allocator;

    template <typename U> void construct(U* p) noexcept(std::is_nothrow_default_constructible<U>::value)
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args> void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

}  // namespace voxaro
