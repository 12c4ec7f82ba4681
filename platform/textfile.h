#pragma once
// The program's data files (keylist.dat, setting.dat, cols.dat): code page 932 on disk,
// UTF-8 inside, read as lines and written as a whole.

#include <string>
#include <string_view>
#include <vector>

namespace plat {

// The lines of a text. A line ends at CR LF, a lone CR or a lone LF; the last needs no line
// end, and a text that ends with one has no empty line after it.
std::vector<std::string> splitTextLines(std::string_view text);

// The lines of a data file, as UTF-8. False (and no lines) when it cannot be read: absent,
// a folder, no permission.
bool readTextLines(const std::string& path, std::vector<std::string>& lines);

// Replaces a data file with the UTF-8 text stored as code page 932; the old file stays
// whole when this fails (false).
bool writeTextFile(const std::string& path, const std::string& utf8);

}  // namespace plat
