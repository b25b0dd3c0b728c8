// Text from the block made safe to print: a name in the block is whatever
// the host (or whoever wrote the block) put there, and a terminal obeys the
// control sequences in what it is given.
#pragma once

#include <string>

namespace korvanel::tools {

// `text` with every character a terminal could take as a command replaced
// by '?': the C0 controls (tab and line breaks included), DEL, the C1
// controls U+0080 to U+009F, and bytes that are not UTF-8 (a lone 0x9B is
// a control sequence to a terminal reading 8-bit text). Printable UTF-8
// passes unchanged.
std::string terminalText(const std::string& text);

}  // namespace korvanel::tools
