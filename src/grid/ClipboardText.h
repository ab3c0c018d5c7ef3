#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace grid {

// The table text the clipboard carries, both ways: fields joined by TAB, records by CR LF, no
// line break after the last record, no header, nothing quoted. A value holding a TAB or a line
// break goes out as it is, so such a value does not read back as one piece.
class ClipboardText {
public:
    using Line = std::vector<std::string>;

    // Lines joined by CR LF, the pieces of a line by TAB.
    static std::string join(const std::vector<Line>& lines);

    // Cuts text into lines and each line into pieces. A line ends at CR LF, or at a lone LF
    // as text from programs that end lines that way has it; a line break at the very end starts
    // no further line. Every line has at least one piece, so empty text is one empty piece.
    static std::vector<Line> split(std::string_view text);

    // What goes into one cell: the text up to its first TAB or line break.
    static std::string_view cellPiece(std::string_view text);
};

}  // namespace grid
