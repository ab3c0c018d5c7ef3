#include "cardio/CardTemplate.h"

#include <cstdio>

namespace cardio {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && (isBlank(s.back()) || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// The next blank-separated word of `rest`, taken off it.
std::string_view word(std::string_view& rest) {
    rest = trimmed(rest);
    std::size_t n = 0;
    while (n < rest.size() && !isBlank(rest[n]))
        ++n;
    std::string_view w = rest.substr(0, n);
    rest.remove_prefix(n);
    return w;
}

// A bare name, or a quoted one with \" and \\ inside; nothing may follow it.
bool parseName(std::string_view rest, std::string& name, std::string& why) {
    rest = trimmed(rest);
    name.clear();
    if (rest.empty()) {
        why = "the object has no name";
        return false;
    }
    if (rest.front() != '"') {
        for (char c : rest)
            if (isBlank(c) || c == '"') {
                why = "a name with blanks or quotes must be written in double quotes";
                return false;
            }
        name.assign(rest);
    } else {
        std::size_t i = 1;
        for (;; ++i) {
            if (i >= rest.size()) {
                why = "the quoted name is not closed";
                return false;
            }
            const char c = rest[i];
            if (c == '"') break;
            if (c == '\\') {
                if (i + 1 >= rest.size() || (rest[i + 1] != '"' && rest[i + 1] != '\\')) {
                    why = "only \\\" and \\\\ may follow a backslash";
                    return false;
                }
                name += rest[++i];
                continue;
            }
            name += c;
        }
        if (!trimmed(rest.substr(i + 1)).empty()) {
            why = "text after the quoted name";
            return false;
        }
    }
    if (name.empty()) {
        why = "the object has an empty name";
        return false;
    }
    if (name.size() > kMaxName) {
        why = "the name is longer than 255 bytes";
        return false;
    }
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7f) {
            why = "the name holds a control character";
            return false;
        }
    return true;
}

bool isKind(std::string_view k) {
    return k == "text" || k == "image" || k == "barcode" || k == "shape";
}

}  // namespace

bool ParseCardTemplate(std::string_view text, CardTemplate& card, std::string& error) {
    card = {};
    error.clear();
    if (text.size() > kMaxFileSize) {
        error = "the file is larger than 1 MiB";
        return false;
    }
    if (text.find('\0') != std::string_view::npos) {
        error = "the file holds a NUL byte: not a text file";
        return false;
    }
    bool header = false;
    CardSide* side = nullptr;
    std::size_t lineNo = 0;
    auto fail = [&](const std::string& why) {
        error = "line " + std::to_string(lineNo) + ": " + why;
        return false;
    };
    while (!text.empty()) {
        ++lineNo;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        line = trimmed(line);
        if (line.empty() || line.front() == '#') continue;
        if (!header) {
            std::string_view rest = line;
            const std::string_view magic = word(rest);
            const std::string_view version = word(rest);
            if (magic != "card-template")
                return fail("not a card template (\"card-template 1\" expected)");
            if (version != "1" || !trimmed(rest).empty())
                return fail("unknown template version (1 expected)");
            header = true;
            continue;
        }
        if (line.front() == '[') {
            if (line == "[front]")
                side = &card.front;
            else if (line == "[back]")
                side = &card.back;
            else
                return fail("unknown section (only [front] and [back])");
            if (side->present) return fail("the side is described twice");
            side->present = true;
            continue;
        }
        if (!side) return fail("an object before the first [front] or [back]");
        std::string_view rest = line;
        const std::string_view role = word(rest);
        if (role != "variable" && role != "fixed")
            return fail("an object starts with \"variable\" or \"fixed\"");
        const std::string_view kind = word(rest);
        if (!isKind(kind)) return fail("unknown object kind (text, image, barcode or shape)");
        CardObject object;
        object.kind.assign(kind);
        object.variable = role == "variable";
        std::string why;
        if (!parseName(rest, object.name, why)) return fail(why);
        if (side->objects.size() >= kMaxObjectsPerSide)
            return fail("more than 4096 objects on one side");
        side->objects.push_back(std::move(object));
    }
    if (!header) {
        error = "the file is empty: not a card template";
        return false;
    }
    if (!card.front.present && !card.back.present) {
        error = "the template has neither a [front] nor a [back] side";
        return false;
    }
    return true;
}

bool ReadCardTemplate(const char* path, CardTemplate& card, std::string& error) {
    std::FILE* f = path ? std::fopen(path, "rb") : nullptr;
    if (!f) {
        error = "the file cannot be opened";
        return false;
    }
    std::string text;
    char buffer[16384];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        text.append(buffer, n);
        if (text.size() > kMaxFileSize) break;
    }
    const bool readError = std::ferror(f) != 0;
    std::fclose(f);
    if (readError) {
        error = "the file cannot be read";
        return false;
    }
    return ParseCardTemplate(text, card, error);
}

}  // namespace cardio
