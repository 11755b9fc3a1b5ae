// A growable array of trivially copyable records kept in one block
// (memory_block.h). Growing a large block moves or extends its pages without
// copying them (the pages already written are not touched again), which
// matters for arrays of millions of entries that double as they fill.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "memory_block.h"

namespace voxaro {

template <typename T> class TPodArray {
    static_assert(std::is_trivially_copyable<T>::value, "TPodArray holds plain records only");

public:
    TPodArray() = default;
    ~TPodArray() { FreeBlock(Data_, Size_ * sizeof(T)); }
    TPodArray(const TPodArray&) = delete;
    TPodArray& operator=(const TPodArray&) = delete;
    TPodArray(TPodArray&& o) noexcept : Data_(std::exchange(o.Data_, nullptr)), Size_(std::exchange(o.Size_, 0)) {}
    TPodArray& operator=(TPodArray&& o) noexcept
    {
        std::swap(Data_, o.Data_);
        std::swap(Size_, o.Size_);
        return *this;
    }

    size_t size() const { return Size_; }
    bool empty() const { return Size_ == 0; }
    T* data() { return Data_; }
    const T* data() const { return Data_; }
    T& operator[](size_t i) { return Data_[i]; }
    const T& operator[](size_t i) const { return Data_[i]; }

    // New length n; entries past the old length are left uninitialised.
    // False (array unchanged) when the memory cannot be had.
    bool Resize(size_t n) noexcept
    {
        if (n == 0) {
            Clear();
            return true;
        }
        if (n > SIZE_MAX / sizeof(T)) return false;
        void* p = ResizeBlock(Data_, Size_ * sizeof(T), n * sizeof(T));
        if (!p) return false;
        Data_ = static_cast<T*>(p);
        Size_ = n;
        return true;
    }
    void Clear() noexcept
    {
        FreeBlock(Data_, Size_ * sizeof(T));
        Data_ = nullptr;
        Size_ = 0;
    }

private:
    T* Data_ = nullptr;
    size_t Size_ = 0;
};

}  // namespace voxaro
