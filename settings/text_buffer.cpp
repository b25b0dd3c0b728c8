// Token cleaning for the configuration reader.
#include "settings/text_buffer.h"

#include <cstring>

#include "text/ascii_text.h"

namespace korvanel {

TextBuffer::TextBuffer() : own_(new char[1024]) {
  own_[0] = 0;
  data_ = own_;
}

TextBuffer::~TextBuffer() { delete[] own_; }

void TextBuffer::trim() {
  size_t lead = 0;
  while (data_[lead] == ' ' || data_[lead] == '\t') ++lead;
  if (data_[lead] == 0) {
    data_[0] = 0;
    return;
  }
  if (lead) std::memmove(data_, data_ + lead, std::strlen(data_ + lead) + 1);
  for (size_t i = std::strlen(data_); i > 0 && (data_[i - 1] == ' ' || data_[i - 1] == '\t'); --i) {
    data_[i - 1] = 0;
  }
}

void TextBuffer::toUpper() {
  for (char* p = data_; *p; ++p) *p = upperCase(*p);
}

}  // namespace korvanel
