// The command token: the one secret that lets a program change what the
// plugin shows. Kept in a file only this user can read, and refused when
// it is short or guessable, since anyone who can reach the port may try it.
#pragma once

#include <string>
#include <string_view>

namespace korvanel::tools::live {

// Characters a token needs at least, and the least estimated entropy in bits.
constexpr size_t kTokenMinLength = 24;
constexpr double kTokenMinBits = 72.0;

// Empty when `token` is fit to guard commands; otherwise why not, as a
// sentence. Fit: at least kTokenMinLength visible ASCII characters (it
// travels in HTTP headers), not a repetition of a shorter text nor a run of
// neighbouring characters ("abcdef", "123456"), and at least kTokenMinBits by
// the spread of its own characters.
std::string tokenWeakness(std::string_view token);

// Loads the token from `path`'s first line. A missing or empty file gets a
// new token, written for this user alone. Returns false with `error` saying
// why when the file cannot be read or written, another user can read it, or
// its token is weak (see tokenWeakness).
bool loadTokenFile(const std::string& path, std::string& token, std::string& error);

}  // namespace korvanel::tools::live
