#include "grid/ClipboardText.h"

namespace grid {

std::string ClipboardText::join(const std::vector<Line>& lines) {
    std::string out;
    for (size_t l = 0; l < lines.size(); ++l) {
        if (l > 0) out += "\r\n";
        const Line& line = lines[l];
        for (size_t i = 0; i < line.size(); ++i) {
            if (i > 0) out += '\t';
            out += line[i];
        }
    }
    return out;
}

std::vector<ClipboardText::Line> ClipboardText::split(std::string_view text) {
    std::vector<Line> lines;
    Line line;
    std::string piece;
    size_t i = 0;
    while (true) {
        if (i == text.size()) {
            line.push_back(std::move(piece));
            lines.push_back(std::move(line));
            return lines;
        }
        const char c = text[i];
        const bool crlf = c == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
        if (c == '\t') {
            line.push_back(std::move(piece));
            piece.clear();
            ++i;
        } else if (crlf || c == '\n') {
            line.push_back(std::move(piece));
            piece.clear();
            lines.push_back(std::move(line));
            line.clear();
            i += crlf ? 2 : 1;
            if (i == text.size()) return lines;
        } else {
            piece += c;
            ++i;
        }
    }
}

std::string_view ClipboardText::cellPiece(std::string_view text) {
    const size_t end = text.find_first_of("\t\r\n");
    return end == std::string_view::npos ? text : text.substr(0, end);
}

}  // namespace grid
