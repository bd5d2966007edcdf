// A small streaming JSON writer: commas and escapes, nothing more.
#pragma once

#include <cstdint>
#include <ostream>
#include <string_view>
#include <vector>

namespace zq::check {

class JsonWriter {
 public:
  explicit JsonWriter(std::ostream& out) : out_(out) {}
  void BeginObject() { Open('{'); }
  void EndObject() { Close('}'); }
  void BeginArray() { Open('['); }
  void EndArray() { Close(']'); }
  void Key(std::string_view name);
  // Text from the settings file is single-byte: 128..255 become U+0080..U+00FF.
  void String(std::string_view bytes);
  void Int(int64_t v);
  void Bool(bool v);
  void Null();

 private:
  void Value();  // the comma before a value that is not the first
  void Escaped(std::string_view bytes);
  void Open(char c);
  void Close(char c);
  std::ostream& out_;
  std::vector<bool> first_;  // per open container: nothing written in it yet
  bool afterKey_ = false;
};

}  // namespace zq::check
