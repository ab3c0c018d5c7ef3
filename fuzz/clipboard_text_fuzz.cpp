// libFuzzer target: any bytes as the table text of the clipboard. Cutting text into lines and
// pieces and joining them again must give the same lines; a cell's piece holds no separator.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "grid/ClipboardText.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    using grid::ClipboardText;
    const std::vector<ClipboardText::Line> lines = ClipboardText::split(text);
    check(!lines.empty());
    size_t pieceBytes = 0;
    for (const auto& line : lines) {
        check(!line.empty());
        for (const auto& piece : line) {
            check(piece.find_first_of("\t\n") == std::string::npos);
            pieceBytes += piece.size();
        }
    }
    check(pieceBytes <= size);

    // Joined and cut again: the same lines, except that an empty last line (text ending in two
    // line breaks) cannot survive, as a break at the very end starts no line.
    std::vector<ClipboardText::Line> expected = lines;
    if (expected.size() > 1 && expected.back().size() == 1 && expected.back()[0].empty())
        expected.pop_back();
    const std::string joined = ClipboardText::join(lines);
    check(ClipboardText::split(joined) == expected);
    check(ClipboardText::join(ClipboardText::split(joined)) == ClipboardText::join(expected));

    const std::string_view cell = ClipboardText::cellPiece(text);
    check(cell.find_first_of("\t\r\n") == std::string_view::npos);
    check(text.substr(0, cell.size()) == cell);
    return 0;
}
