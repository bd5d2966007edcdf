// A text of bounded length in a fixed buffer: what the tick builds without
// touching the heap. Appending beyond the capacity cuts the text.
#pragma once

#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zq {

template <size_t Capacity>
class FixedText {
 public:
  void Clear() { size_ = 0; }
  void Append(std::string_view s) {
    size_t n = s.size() < Capacity - size_ ? s.size() : Capacity - size_;
    for (size_t i = 0; i < n; ++i) data_[size_ + i] = s[i];
    size_ += n;
  }
  void Append(char c) { Append(std::string_view(&c, 1)); }
  void AppendInt(int64_t v) {
    char buf[24];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    Append(std::string_view(buf, static_cast<size_t>(res.ptr - buf)));
  }
  std::string_view View() const { return std::string_view(data_.data(), size_); }
  size_t Size() const { return size_; }
  bool Empty() const { return size_ == 0; }
  static constexpr size_t capacity = Capacity;

 private:
  std::array<char, Capacity> data_{};
  size_t size_ = 0;
};

}  // namespace zq
