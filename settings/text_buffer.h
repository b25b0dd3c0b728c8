// Cleans class-row tokens in place: trims blanks and upper-cases.
#pragma once

namespace korvanel {

class TextBuffer {
 public:
  TextBuffer();
  ~TextBuffer();
  TextBuffer(const TextBuffer&) = delete;
  TextBuffer& operator=(const TextBuffer&) = delete;

  // Works on the caller's text from now on; nothing is copied.
  void assign(char* text) { data_ = text; }
  // Removes spaces and tabs at both ends.
  void trim();
  // Upper-cases the ASCII letters.
  void toUpper();
  char* data() const { return data_; }

 private:
  char* data_;
  char* own_;
};

}  // namespace korvanel
