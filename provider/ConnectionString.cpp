#include "provider/ConnectionString.h"

#include "provider/Blanks.h"
#include "provider/ProviderError.h"
#include "jet/Text.h"

namespace tessor::provider {

namespace {

// Keys compare without case and with runs of blanks as one ("Data  Source").
std::string normaliseKey(std::string_view key) {
    std::string out;
    bool blank = false;
    for (char c : trimBlanks(key)) {
        if (isBlank(c)) {
            blank = true;
            continue;
        }
        if (blank) out += ' ';
        blank = false;
        out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    }
    return out;
}

[[noreturn]] void malformed(const std::string& why) {
    throw ProviderError(hr::kInvalidArgument, "The connection text is not valid: " + why);
}

}  // namespace

ConnectionString ConnectionString::parse(std::string_view text) {
    ConnectionString cs;
    bool haveProvider = false;
    bool haveSource = false;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t eq = text.find('=', pos);
        const size_t semi = text.find(';', pos);
        if (eq == std::string_view::npos || (semi != std::string_view::npos && semi < eq)) {
            // A piece with no "=" is only allowed when it is blank (";;" or a trailing ";").
            const size_t end = semi == std::string_view::npos ? text.size() : semi;
            if (!trimBlanks(text.substr(pos, end - pos)).empty())
                malformed("\"" + std::string(trimBlanks(text.substr(pos, end - pos))) +
                          "\" has no \"=\".");
            pos = end + 1;
            continue;
        }
        const std::string key = normaliseKey(text.substr(pos, eq - pos));
        if (key.empty()) malformed("a \"=\" has no name before it.");
        size_t v = eq + 1;
        while (v < text.size() && isBlank(text[v]))
            ++v;
        std::string value;
        if (v < text.size() && (text[v] == '"' || text[v] == '\'')) {
            const char q = text[v++];
            bool closed = false;
            while (v < text.size()) {
                if (text[v] == q) {
                    if (v + 1 < text.size() && text[v + 1] == q) {
                        value += q;
                        v += 2;
                        continue;
                    }
                    ++v;
                    closed = true;
                    break;
                }
                value += text[v++];
            }
            if (!closed) malformed("a quoted value of \"" + key + "\" is not closed.");
            while (v < text.size() && isBlank(text[v]))
                ++v;
            if (v < text.size() && text[v] != ';')
                malformed("text follows the quoted value of \"" + key + "\".");
            pos = v + 1;
        } else {
            const size_t end = text.find(';', v);
            const size_t stop = end == std::string_view::npos ? text.size() : end;
            value = std::string(trimBlanks(text.substr(v, stop - v)));
            pos = stop + 1;
        }
        if (key == "provider") {
            cs.m_provider = value;
            haveProvider = true;
        } else if (key == "data source") {
            cs.m_dataSource = value;
            haveSource = true;
        } else if (key == "jet oledb:database password") {
            cs.m_password = value;
            cs.m_hasPassword = true;
        }
    }
    if (!haveProvider) malformed("it names no Provider.");
    if (!jet::CaseFold::equal(cs.m_provider, "Microsoft.Jet.OLEDB.4.0"))
        throw ProviderError(hr::kProviderNotFound,
                            "Provider cannot be found: \"" + cs.m_provider + "\".");
    if (!haveSource || cs.m_dataSource.empty()) malformed("it names no Data Source.");
    return cs;
}

std::string ConnectionString::quote(std::string_view value) {
    // parse() takes a value as quoted only when a quote opens it, and trims blanks around it.
    const bool plain = value.find(';') == std::string_view::npos &&
                       (value.empty() || (value.front() != '"' && value.front() != '\'' &&
                                          !isBlank(value.front()) && !isBlank(value.back())));
    if (plain) return std::string(value);
    std::string quoted = "\"";
    for (char c : value) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::string ConnectionString::format(std::string_view dataSource, const std::string* password,
                                     bool leadingBlank) {
    std::string text = leadingBlank ? "Provider= " : "Provider=";
    text += "Microsoft.Jet.OLEDB.4.0;Data Source = ";
    text += quote(dataSource);
    if (password) {
        text += ";Jet OLEDB:Database Password=";
        text += quote(*password);
    }
    return text;
}

}  // namespace tessor::provider
