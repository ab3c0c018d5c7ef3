#include "base/TextCodec.h"

#include <iconv.h>

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace jet {

// The text loops read two-byte units eight bytes at a time, as they lie in memory.
static_assert(std::endian::native == std::endian::little);

namespace {

bool isMultiByteCodePage(uint16_t cp) {
    return cp == 932 || cp == 936 || cp == 949 || cp == 950 || cp == 1361 || cp == 65001;
}

// Converts in one go with iconv; undecodable bytes become U+FFFD and decoding carries on.
void iconvToUtf8(iconv_t cd, const uint8_t* data, size_t len, std::string& out) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = reinterpret_cast<char*>(const_cast<uint8_t*>(data));
    size_t inLeft = len;
    char buf[1024];
    while (inLeft > 0) {
        char* o = buf;
        size_t oLeft = sizeof buf;
        size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        out.append(buf, static_cast<size_t>(o - buf));
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG) continue;
            // EILSEQ or EINVAL (truncated sequence at the end): skip one byte.
            out.append("\xEF\xBF\xBD");
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
}

class IconvHandle {
public:
    explicit IconvHandle(const std::string& from) : m_cd(iconv_open("UTF-8", from.c_str())) {}
    // The other way: UTF-8 into the code page.
    IconvHandle(const std::string& to, bool) : m_cd(iconv_open(to.c_str(), "UTF-8")) {}
    ~IconvHandle() {
        if (ok()) iconv_close(m_cd);
    }
    bool ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return m_cd; }

private:
    iconv_t m_cd;
};

}  // namespace

TextCodec::TextCodec(Format format, uint16_t codePage) : m_format(format), m_codePage(codePage) {
    if (m_codePage == 0) m_codePage = 1252;
    m_iconvName = m_codePage == 65001 ? "UTF-8" : "CP" + std::to_string(m_codePage);
    m_singleByte = !isMultiByteCodePage(m_codePage);
    if (!IconvHandle(m_iconvName).ok()) {
        // An unknown code page still gives readable text for the ASCII part.
        m_iconvName = "CP1252";
        m_singleByte = true;
    }
    if (m_singleByte) {
        IconvHandle cd(m_iconvName);
        for (int b = 0; b < 256; ++b) {
            uint8_t byte = static_cast<uint8_t>(b);
            std::string s;
            if (b < 0x80) {
                s.push_back(static_cast<char>(b));
            } else if (cd.ok()) {
                iconvToUtf8(cd.get(), &byte, 1, s);
                // Bytes the code page leaves undefined come through as U+0080..U+00FF, as
                // Windows itself converts them, so that they survive a round trip.
                if (s == "\xEF\xBF\xBD") {
                    s.clear();
                    appendUtf8(b, s);
                }
            } else {
                appendUtf8(b, s);
            }
            m_table[b] = s;
            if (b >= 0x80) {
                std::vector<uint16_t> u;
                if (toUtf16(s, u) && u.size() == 1) m_reverse.emplace(u[0], byte);
            }
        }
    }
}

bool TextCodec::encodeCodePage(const std::string& utf8, std::vector<uint8_t>& out,
                               uint32_t& unmappable) const {
    out.clear();
    out.reserve(utf8.size());
    std::unique_ptr<IconvHandle> to;  // multi-byte code pages, opened on the first need
    for (size_t i = 0; i < utf8.size();) {
        const uint8_t b = static_cast<uint8_t>(utf8[i]);
        const size_t n = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : 4;
        const std::string one = utf8.substr(i, n);
        i += n;
        if (b < 0x80) {
            out.push_back(b);
            continue;
        }
        std::vector<uint16_t> u;
        if (!toUtf16(one, u)) {
            unmappable = 0xFFFD;
            return false;
        }
        const uint32_t cp = u.size() == 2 ? 0x10000 + ((u[0] - 0xD800u) << 10) + (u[1] - 0xDC00u)
                                          : u[0];
        if (m_singleByte) {
            auto it = u.size() == 1 ? m_reverse.find(u[0]) : m_reverse.end();
            if (it == m_reverse.end()) {
                unmappable = cp;
                return false;
            }
            out.push_back(it->second);
            continue;
        }
        if (!to) to = std::make_unique<IconvHandle>(m_iconvName, true);
        char buf[16];
        char* in = const_cast<char*>(one.data());
        size_t inLeft = one.size();
        char* o = buf;
        size_t oLeft = sizeof buf;
        iconv(to->get(), nullptr, nullptr, nullptr, nullptr);
        if (!to->ok() || iconv(to->get(), &in, &inLeft, &o, &oLeft) == static_cast<size_t>(-1) ||
            inLeft != 0) {
            unmappable = cp;
            return false;
        }
        out.insert(out.end(), buf, o);
    }
    return true;
}

std::string TextCodec::characterName(uint32_t cp) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(cp));
    std::string glyph;
    if (cp >= 0x20 && cp != 0x7F && cp != 0xFFFD) appendUtf8(cp, glyph);
    return glyph.empty() ? std::string(hex) : "'" + glyph + "' (" + hex + ")";
}

void TextCodec::appendUtf8(uint32_t cp, std::string& out) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

namespace {

// UTF-16LE units to UTF-8 at o, which has room for three bytes a unit; returns the end. Runs of
// ASCII (most text) are narrowed four units at a time.
char* unitsToUtf8(const uint8_t* data, size_t n, char* o) {
    size_t i = 0;
    while (i < n) {
        if (i + 4 <= n) {
            uint64_t w;
            std::memcpy(&w, data + 2 * i, sizeof w);
            if ((w & 0xFF80FF80FF80FF80ull) == 0) {
                w = (w | (w >> 8)) & 0x0000FFFF0000FFFFull;
                w = (w | (w >> 16)) & 0x00000000FFFFFFFFull;
                const uint32_t four = static_cast<uint32_t>(w);
                std::memcpy(o, &four, sizeof four);
                o += 4;
                i += 4;
                continue;
            }
        }
        uint32_t u = data[2 * i] | (data[2 * i + 1] << 8);
        ++i;
        if (u < 0x80) {
            *o++ = static_cast<char>(u);
            continue;
        }
        if (u < 0x800) {
            *o++ = static_cast<char>(0xC0 | (u >> 6));
            *o++ = static_cast<char>(0x80 | (u & 0x3F));
            continue;
        }
        if (u >= 0xD800 && u <= 0xDFFF) {
            uint32_t l = i < n ? (data[2 * i] | (data[2 * i + 1] << 8)) : 0;
            if (u <= 0xDBFF && l >= 0xDC00 && l <= 0xDFFF) {
                // Four bytes out for two units in: within the three reserved per unit.
                uint32_t cp = 0x10000 + ((u - 0xD800) << 10) + (l - 0xDC00);
                *o++ = static_cast<char>(0xF0 | (cp >> 18));
                *o++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
                *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                *o++ = static_cast<char>(0x80 | (cp & 0x3F));
                ++i;
                continue;
            }
            u = 0xFFFD;  // unpaired surrogate
        }
        *o++ = static_cast<char>(0xE0 | (u >> 12));
        *o++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        *o++ = static_cast<char>(0x80 | (u & 0x3F));
    }
    return o;
}

}  // namespace

void TextCodec::utf16ToUtf8(const uint8_t* data, size_t len, std::string& out) {
    // This runs for every text cell of a scan: a short text goes through a buffer on the stack
    // and is appended once; a long one is written straight into the string.
    const size_t n = len / 2;
    constexpr size_t kShort = 128;
    if (n <= kShort) {
        char buf[3 * kShort];
        out.append(buf, static_cast<size_t>(unitsToUtf8(data, n, buf) - buf));
        return;
    }
    const size_t base = out.size();
    out.resize(base + 3 * n);
    char* o = unitsToUtf8(data, n, out.data() + base);
    out.resize(static_cast<size_t>(o - out.data()));
}

void TextCodec::uncompress(const uint8_t* data, size_t len, std::string& out) {
    // A zero byte switches between one byte per character (U+0000..U+00FF) and UTF-16LE; the
    // writer never compresses text where a zero byte could be mistaken for the switch.
    bool compressed = true;
    size_t start = 0;
    for (size_t i = 0; i <= len; ++i) {
        if (i < len && data[i] != 0) continue;
        if (compressed) {
            const size_t base = out.size();
            out.resize(base + 2 * (i - start));
            char* o = out.data() + base;
            size_t k = start;
            // ASCII bytes go across as they are, eight at a time.
            while (k + 8 <= i) {
                uint64_t w;
                std::memcpy(&w, data + k, sizeof w);
                if ((w & 0x8080808080808080ull) != 0) break;
                std::memcpy(o, &w, sizeof w);
                o += 8;
                k += 8;
            }
            for (; k < i; ++k) {
                uint8_t c = data[k];
                if (c < 0x80) {
                    *o++ = static_cast<char>(c);
                } else {
                    *o++ = static_cast<char>(0xC0 | (c >> 6));
                    *o++ = static_cast<char>(0x80 | (c & 0x3F));
                }
            }
            out.resize(static_cast<size_t>(o - out.data()));
        } else {
            utf16ToUtf8(data + start, i - start, out);
        }
        compressed = !compressed;
        start = i + 1;
    }
}

void TextCodec::decodeCodePage(const uint8_t* data, size_t len, std::string& out) const {
    if (m_singleByte) {
        for (size_t i = 0; i < len; ++i) {
            uint8_t b = data[i];
            if (b < 0x80)
                out.push_back(static_cast<char>(b));
            else
                out += m_table[b];
        }
        return;
    }
    IconvHandle cd(m_iconvName);
    if (cd.ok()) {
        iconvToUtf8(cd.get(), data, len, out);
    } else {
        for (size_t i = 0; i < len; ++i)
            appendUtf8(data[i], out);
    }
}

void TextCodec::decode(const uint8_t* data, size_t len, std::string& out) const {
    out.clear();
    if (m_format == Format::Jet3) {
        decodeCodePage(data, len, out);
    } else if (len >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        uncompress(data + 2, len - 2, out);
    } else {
        utf16ToUtf8(data, len, out);
    }
}

std::string TextCodec::decodeName(const uint8_t* data, size_t len) const {
    std::string out;
    if (m_format == Format::Jet3)
        decodeCodePage(data, len, out);
    else
        utf16ToUtf8(data, len, out);
    return out;
}

bool TextCodec::toUtf16(const std::string& s, std::vector<uint16_t>& out) {
    out.clear();
    out.reserve(s.size());  // never fewer bytes than units
    for (size_t i = 0; i < s.size();) {
        uint8_t b = static_cast<uint8_t>(s[i]);
        uint32_t cp;
        int extra;
        if (b < 0x80) {
            cp = b;
            extra = 0;
        } else if ((b & 0xE0) == 0xC0) {
            cp = b & 0x1F;
            extra = 1;
        } else if ((b & 0xF0) == 0xE0) {
            cp = b & 0x0F;
            extra = 2;
        } else if ((b & 0xF8) == 0xF0) {
            cp = b & 0x07;
            extra = 3;
        } else {
            return false;
        }
        if (extra > 0 && i + size_t(extra) >= s.size()) return false;
        for (int k = 1; k <= extra; ++k) {
            uint8_t c = static_cast<uint8_t>(s[i + k]);
            if ((c & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<uint16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<uint16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<uint16_t>(cp));
        }
        i += size_t(extra) + 1;
    }
    return true;
}

}  // namespace jet
