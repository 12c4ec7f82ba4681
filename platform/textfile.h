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
// a folder, no permission. When asked, `faithful` tells whether the lines carry every byte
// of the file: false when some bytes are no code page 932 text, which writing the lines
// back would not give again.
bool readTextLines(const std::string& path, std::vector<std::string>& lines,
                   bool* faithful = nullptr);

// Replaces a data file with the UTF-8 text stored as code page 932; the old file stays
// whole when this fails (false).
bool writeTextFile(const std::string& path, const std::string& utf8);

// For a file that held what the program could not read: keeps its present content beside
// it as path + ".bak" (replacing an older one, as a whole like every file the program
// writes), then replaces the file. False, and the file untouched, when the old content
// cannot be read or kept. A file that does not exist is simply written.
bool replaceFileKeepingOld(const std::string& path, const std::string& bytes);
bool writeTextFileKeepingOld(const std::string& path, const std::string& utf8);

}  // namespace plat
