// A growable array of trivially copyable values whose storage grows with
// realloc. The clause store's arrays reach gigabytes; growing them by
// allocate-copy-free (as std::vector does) needs the old and the new block
// at once, while realloc moves large blocks by remapping their pages, so the
// peak stays near the size in use.
#ifndef ZEL_CORE_POD_VECTOR_HPP
#define ZEL_CORE_POD_VECTOR_HPP

#include <cassert>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

template <typename T>
class PodVector {
  static_assert(std::is_trivially_copyable<T>::value, "PodVector holds plain values");

 public:
  PodVector() = default;
  ~PodVector() { std::free(data_); }
  PodVector(const PodVector&) = delete;
  PodVector& operator=(const PodVector&) = delete;
  PodVector(PodVector&& other) noexcept
      : data_(other.data_), size_(other.size_), capacity_(other.capacity_) {
    other.data_ = nullptr;
    other.size_ = other.capacity_ = 0;
  }
  PodVector& operator=(PodVector&& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
    return *this;
  }

  size_t size() const { return size_; }
  size_t capacity() const { return capacity_; }
  const T* data() const { return data_; }
  T* data() { return data_; }
  const T& operator[](size_t i) const {
    assert(i < size_);
    return data_[i];
  }
  T& operator[](size_t i) {
    assert(i < size_);
    return data_[i];
  }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }
  T* begin() { return data_; }
  T* end() { return data_ + size_; }
  bool empty() const { return size_ == 0; }
  T& back() {
    assert(size_ > 0);
    return data_[size_ - 1];
  }

  void reserve(size_t capacity) {
    if (capacity <= capacity_) return;
    void* grown = std::realloc(data_, capacity * sizeof(T));
    if (!grown) throw std::bad_alloc();
    data_ = static_cast<T*>(grown);
    capacity_ = capacity;
  }
  // Keeps the first `size` values and gives the rest of the block back.
  void truncate(size_t size) {
    if (size >= size_) return;
    size_ = size;
    if (size_ == 0) {
      std::free(data_);
      data_ = nullptr;
      capacity_ = 0;
      return;
    }
    void* shrunk = std::realloc(data_, size_ * sizeof(T));
    if (shrunk) {
      data_ = static_cast<T*>(shrunk);
      capacity_ = size_;
    }
  }
  // Scratch use: sets the size without initialising new values and without
  // giving memory back, so that a buffer reused per step never reallocates
  // once it is large enough.
  void resize(size_t size) {
    if (size > capacity_) grow(size);
    size_ = size;
  }
  void clear() { size_ = 0; }
  void pop_back() {
    assert(size_ > 0);
    --size_;
  }
  void push_back(const T& value) {
    if (size_ == capacity_) grow(size_ + 1);
    data_[size_++] = value;
  }
  void append(const T* values, size_t count) {
    if (size_ + count > capacity_) grow(size_ + count);
    if (count) std::memcpy(data_ + size_, values, count * sizeof(T));
    size_ += count;
  }

 private:
  // Grows by half again (at least to `needed`), so that the unused tail
  // stays below a third of the block.
  void grow(size_t needed) {
    size_t capacity = capacity_ + capacity_ / 2;
    if (capacity < 1024) capacity = 1024;
    if (capacity < needed) capacity = needed;
    reserve(capacity);
  }

  T* data_ = nullptr;    // malloc'ed storage, capacity_ values
  size_t size_ = 0;      // values in use
  size_t capacity_ = 0;  // values allocated
};

#endif
