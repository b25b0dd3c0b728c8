// The token file: read and checked, or written with a new token.
#include "tools/live/token_file.h"

#include <cmath>
#include <cstdio>

#include "tools/live/live_requests.h"
#include "tools/platform/private_file.h"

namespace korvanel::tools::live {
namespace {

// A token line is short; a larger file is not one this tool wrote.
constexpr size_t kTokenFileLimit = 4096;

// Bits by the spread of the text's own characters (its length times the
// Shannon entropy of their frequencies): low for few distinct characters
// or one that dominates.
double spreadBits(std::string_view text) {
  size_t counts[256] = {};
  for (unsigned char c : text) ++counts[c];
  double bits = 0;
  double n = static_cast<double>(text.size());
  for (size_t count : counts) {
    if (count == 0) continue;
    double p = static_cast<double>(count) / n;
    bits -= p * std::log2(p);
  }
  return bits * n;
}

bool repeatsShorterText(std::string_view text) {
  for (size_t period = 1; period <= text.size() / 2; ++period) {
    bool repeats = true;
    for (size_t i = period; i < text.size() && repeats; ++i) repeats = text[i] == text[i - period];
    if (repeats) return true;
  }
  return false;
}

// More than half of the neighbours one apart ("abcd", "4321", "aabb").
bool mostlyRuns(std::string_view text) {
  size_t neighbours = 0;
  for (size_t i = 1; i < text.size(); ++i) {
    int step = static_cast<unsigned char>(text[i]) - static_cast<unsigned char>(text[i - 1]);
    if (step >= -1 && step <= 1) ++neighbours;
  }
  return neighbours * 2 > text.size() - 1;
}

}  // namespace

std::string tokenWeakness(std::string_view token) {
  if (token.size() < kTokenMinLength) {
    return "it is " + std::to_string(token.size()) +
           " characters long, and a token needs at least " + std::to_string(kTokenMinLength);
  }
  for (unsigned char c : token) {
    if (c < 0x21 || c > 0x7e) return "it holds characters other than visible ASCII";
  }
  if (repeatsShorterText(token)) return "it repeats a shorter text";
  if (mostlyRuns(token)) return "it is mostly runs of neighbouring characters";
  double bits = spreadBits(token);
  if (bits < kTokenMinBits) {
    char text[160];
    std::snprintf(
        text, sizeof text,
        "its characters are too few or too uneven: about %.0f bits, and a token needs %.0f", bits,
        kTokenMinBits);
    return text;
  }
  return {};
}

bool loadTokenFile(const std::string& path, std::string& token, std::string& error) {
  std::string text;
  std::string reason;
  switch (readPrivateFile(path, kTokenFileLimit, text, reason)) {
    case PrivateRead::kMissing:
      break;
    case PrivateRead::kRead: {
      token = text.substr(0, text.find('\n'));
      while (!token.empty() && (token.back() == '\r' || token.back() == ' ')) token.pop_back();
      if (token.empty()) break;
      std::string weakness = tokenWeakness(token);
      if (weakness.empty()) return true;
      error = "the token in " + path + " is refused: " + weakness +
              " (delete the file to have a new one written)";
      return false;
    }
    case PrivateRead::kRefused:
      error = "the token file " + path + " is refused: " + reason;
      return false;
    case PrivateRead::kFailed:
      error = "cannot read the token file " + path + ": " + reason;
      return false;
  }
  token = newToken();
  if (!writePrivateFile(path, token + "\n", reason)) {
    error = "cannot write the token file " + path + ": " + reason;
    return false;
  }
  return true;
}

}  // namespace korvanel::tools::live
