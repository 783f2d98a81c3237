#pragma once

// Move-only owner of one platform handle. The traits name the handle type, the value that means
// "nothing owned", which values count as owned and how to give one back:
//
//   struct Traits {
//       using Type = ...;
//       static Type Empty() noexcept;
//       static bool IsOwned(Type value) noexcept;
//       static void Close(Type value) noexcept;
//   };
//
// One traits type per release function, so a handle can only be closed the way it was opened.

#include <utility>

template <class Traits> class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Type value) noexcept : value_(value) {}
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    [[nodiscard]] Type get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return Traits::IsOwned(value_); }

    // Gives up ownership without closing; the caller now owns the value.
    [[nodiscard]] Type release() noexcept { return std::exchange(value_, Traits::Empty()); }

    // Closes what is owned (if anything) and takes the new value.
    void reset(Type value = Traits::Empty()) noexcept {
        Type old = std::exchange(value_, value);
        if (Traits::IsOwned(old) && old != value) {
            Traits::Close(old);
        }
    }

    // For functions that return a handle through an out-parameter: closes the old one first.
    [[nodiscard]] Type* put() noexcept {
        reset();
        return &value_;
    }

private:
    Type value_ = Traits::Empty();
};
