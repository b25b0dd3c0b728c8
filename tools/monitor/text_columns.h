// Text laid out in terminal columns. A column holds a character, not a
// byte: "Müller" is six columns in seven bytes, and a table padded by bytes
// (printf's widths) slides out of line at every name past ASCII.
#pragma once

#include <string>

namespace korvanel::tools {

// Columns a terminal gives `text`, which is printable UTF-8 (as terminalText
// makes it): one per character, none for combining marks, two for wide
// (East Asian, emoji) characters.
int columnsOf(const std::string& text);

// `text` in exactly `columns` columns: cut to fit with "…" as its last
// column, or padded with spaces on the right (on the left when `right`).
std::string fitColumns(const std::string& text, int columns, bool right = false);

// `text` cut to at most `columns` columns, with "…" as its last when cut.
// Not padded.
std::string cutColumns(const std::string& text, int columns);

// A person's name in at most `columns` columns: whole when it fits, else
// with the given names as initials ("M. Müller-Lüdenscheidt"), else cut
// with "…". Not padded.
std::string shortName(const std::string& name, int columns);

}  // namespace korvanel::tools
