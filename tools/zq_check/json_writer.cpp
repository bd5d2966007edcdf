#include "zq_check/json_writer.h"

namespace zq::check {

void JsonWriter::Value() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (!first_.empty()) {
    if (!first_.back()) out_ << ',';
    first_.back() = false;
  }
}

void JsonWriter::Open(char c) {
  Value();
  out_ << c;
  first_.push_back(true);
}

void JsonWriter::Close(char c) {
  first_.pop_back();
  out_ << c;
}

void JsonWriter::Key(std::string_view name) {
  Value();
  Escaped(name);
  out_ << ':';
  afterKey_ = true;
}

void JsonWriter::String(std::string_view bytes) {
  Value();
  Escaped(bytes);
}

void JsonWriter::Escaped(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  out_ << '"';
  for (char ch : bytes) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out_ << '\\' << ch;
    } else if (c < 0x20 || c == 0x7f) {
      out_ << "\\u00" << kHex[c >> 4] << kHex[c & 15];
    } else if (c >= 0x80) {
      out_ << static_cast<char>(0xC0 | (c >> 6)) << static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out_ << ch;
    }
  }
  out_ << '"';
}

void JsonWriter::Int(int64_t v) {
  Value();
  out_ << v;
}

void JsonWriter::Bool(bool v) {
  Value();
  out_ << (v ? "true" : "false");
}

void JsonWriter::Null() {
  Value();
  out_ << "null";
}

}  // namespace zq::check
