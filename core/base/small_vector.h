// A list of plain values that keeps its first N elements inside the owning
// record and moves to the heap only beyond that. Copying into an existing list
// reuses its storage, so copying a world into an existing world does not
// allocate once the lists have grown to their sizes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <type_traits>

#include "core/base/panic.h"

namespace velmora {

template <class T, std::uint32_t N>
class SmallVector {
  static_assert(std::is_trivially_copyable_v<T>, "SmallVector holds plain values");
  static_assert(N > 0);

 public:
  using value_type = T;
  using iterator = T*;
  using const_iterator = const T*;

  SmallVector() = default;
  SmallVector(std::initializer_list<T> values) { assign(values.begin(), values.size()); }
  SmallVector(const SmallVector& other) { assign(other.data(), other.size_); }
  SmallVector(SmallVector&& other) noexcept { take(other); }
  ~SmallVector() { delete[] heap_; }

  SmallVector& operator=(const SmallVector& other) {
    if (this != &other) assign(other.data(), other.size_);
    return *this;
  }
  SmallVector& operator=(SmallVector&& other) noexcept {
    if (this != &other) {
      delete[] heap_;
      heap_ = nullptr;
      capacity_ = N;
      take(other);
    }
    return *this;
  }

  T* data() { return heap_ != nullptr ? heap_ : inline_; }
  const T* data() const { return heap_ != nullptr ? heap_ : inline_; }
  std::uint32_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::uint32_t capacity() const { return capacity_; }
  static constexpr std::uint32_t inline_capacity() { return N; }

  T* begin() { return data(); }
  T* end() { return data() + size_; }
  const T* begin() const { return data(); }
  const T* end() const { return data() + size_; }

  T& operator[](std::size_t i) {
    VELMORA_CHECK(i < size_, "small vector index out of range");
    return data()[i];
  }
  const T& operator[](std::size_t i) const {
    VELMORA_CHECK(i < size_, "small vector index out of range");
    return data()[i];
  }
  T& front() { return (*this)[0]; }
  T& back() { return (*this)[size_ - 1]; }
  const T& front() const { return (*this)[0]; }
  const T& back() const { return (*this)[size_ - 1]; }

  void clear() { size_ = 0; }

  // The value is copied first: it may live in the storage that growing frees.
  void push_back(const T& value) {
    const T copy = value;
    if (size_ == capacity_) grow(size_ + 1);
    data()[size_++] = copy;
  }

  void pop_back() {
    VELMORA_CHECK(size_ > 0, "pop from an empty small vector");
    --size_;
  }

  // Removes the element at i; the later ones move up, keeping their order.
  void erase_at(std::size_t i) {
    VELMORA_CHECK(i < size_, "small vector index out of range");
    T* d = data();
    std::memmove(d + i, d + i + 1, (size_ - i - 1) * sizeof(T));
    --size_;
  }

  bool contains(const T& value) const { return std::find(begin(), end(), value) != end(); }

  friend bool operator==(const SmallVector& a, const SmallVector& b) {
    return a.size_ == b.size_ && std::equal(a.begin(), a.end(), b.begin());
  }

 private:
  void assign(const T* values, std::size_t count) {
    VELMORA_CHECK(count <= UINT32_MAX, "small vector too long");
    if (count > capacity_) grow(count);
    if (count > 0) std::memcpy(data(), values, count * sizeof(T));
    size_ = static_cast<std::uint32_t>(count);
  }

  void grow(std::size_t wanted) {
    VELMORA_CHECK(wanted <= UINT32_MAX / 2, "small vector too long");
    const std::size_t capacity = std::max<std::size_t>(wanted, std::size_t{capacity_} * 2);
    T* fresh = new T[capacity];
    if (size_ > 0) std::memcpy(fresh, data(), size_ * sizeof(T));
    delete[] heap_;
    heap_ = fresh;
    capacity_ = static_cast<std::uint32_t>(capacity);
  }

  // Takes other's contents; other is left empty and inline. This list holds no heap block.
  void take(SmallVector& other) {
    if (other.heap_ != nullptr) {
      heap_ = other.heap_;
      capacity_ = other.capacity_;
      other.heap_ = nullptr;
      other.capacity_ = N;
    } else if (other.size_ > 0) {
      std::memcpy(inline_, other.inline_, other.size_ * sizeof(T));
    }
    size_ = other.size_;
    other.size_ = 0;
  }

  T* heap_ = nullptr;
  std::uint32_t size_ = 0;
  std::uint32_t capacity_ = N;
  T inline_[N] = {};
};

}  // namespace velmora
