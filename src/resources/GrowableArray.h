// GrowableArray: an owned block of items with a count and a capacity.
//
// Appending to a full array doubles the capacity (0 grows to 4). Copying copies count,
// capacity and items. Items are default-constructible and copy-assignable; slots beyond
// `count` hold default items.
#pragma once

#include <utility>

template <typename T>
class GrowableArray {
 public:
  explicit GrowableArray(int capacity = 0) : capacity_(capacity > 0 ? capacity : 0) {
    items_ = capacity_ ? new T[capacity_] : nullptr;
  }
  GrowableArray(const GrowableArray& other) : count_(other.count_), capacity_(other.capacity_) {
    items_ = capacity_ ? new T[capacity_] : nullptr;
    for (int i = 0; i < count_; ++i) items_[i] = other.items_[i];
  }
  GrowableArray& operator=(const GrowableArray& other) {
    if (this != &other) {
      GrowableArray copy(other);
      swap(copy);
    }
    return *this;
  }
  ~GrowableArray() { delete[] items_; }

  void swap(GrowableArray& other) noexcept {
    std::swap(items_, other.items_);
    std::swap(count_, other.count_);
    std::swap(capacity_, other.capacity_);
  }

  // Returns the new item, in place, so callers can fill it without a copy.
  T& append(const T& item = T()) {
    if (count_ == capacity_) grow();
    items_[count_] = item;
    return items_[count_++];
  }

  // Drops every item and starts over with an empty block of `capacity`.
  void reset(int capacity) {
    GrowableArray fresh(capacity);
    swap(fresh);
  }

  int count() const { return count_; }
  int capacity() const { return capacity_; }
  T& operator[](int i) { return items_[i]; }
  const T& operator[](int i) const { return items_[i]; }
  T* begin() { return items_; }
  T* end() { return items_ + count_; }
  const T* begin() const { return items_; }
  const T* end() const { return items_ + count_; }

 private:
  void grow() {
    int newCapacity = capacity_ ? capacity_ * 2 : 4;
    T* block = new T[newCapacity];
    for (int i = 0; i < count_; ++i) block[i] = std::move(items_[i]);
    delete[] items_;
    items_ = block;
    capacity_ = newCapacity;
  }

  T* items_ = nullptr;
  int count_ = 0;
  int capacity_ = 0;
};
