#include "provider/LikePattern.h"

#include "provider/ProviderError.h"
#include "provider/TextFold.h"

namespace tessor::provider {

LikePattern::LikePattern(std::string_view pattern) {
    const std::u32string p = TextFold::folded(pattern);
    for (size_t i = 0; i < p.size(); ++i) {
        const char32_t c = p[i];
        Token t;
        if (c == U'*') {
            // Runs of stars mean the same as one.
            if (!m_tokens.empty() && m_tokens.back().kind == Kind::Star) continue;
            t.kind = Kind::Star;
        } else if (c == U'?') {
            t.kind = Kind::Any;
        } else if (c == U'#') {
            t.kind = Kind::Digit;
        } else if (c == U'[') {
            size_t j = i + 1;
            t.kind = Kind::Set;
            if (j < p.size() && p[j] == U'!') {
                t.negated = true;
                ++j;
            }
            const size_t start = j;
            // A "]" right after the opening is not special in the database's patterns either:
            // "[]" is an empty list, so the set ends at the first "]".
            while (j < p.size() && p[j] != U']')
                ++j;
            if (j >= p.size())
                throw ProviderError(hr::kInvalidArgument,
                                    "Invalid pattern string: a \"[\" is not closed.");
            for (size_t k = start; k < j; ++k) {
                char32_t lo = p[k];
                char32_t hi = lo;
                if (k + 2 < j && p[k + 1] == U'-') {
                    hi = p[k + 2];
                    k += 2;
                    if (hi < lo)
                        throw ProviderError(hr::kInvalidArgument,
                                            "Invalid pattern string: a range runs backwards.");
                }
                t.ranges.emplace_back(lo, hi);
            }
            i = j;
            // "[]" matches no character at all and so adds nothing; "[!]" is any one character.
            if (t.ranges.empty() && !t.negated) continue;
        } else {
            t.kind = Kind::Literal;
            t.ch = c;
        }
        m_tokens.push_back(std::move(t));
    }
}

bool LikePattern::tokenMatches(const Token& t, char32_t c) const {
    switch (t.kind) {
        case Kind::Literal:
            return t.ch == c;
        case Kind::Any:
            return true;
        case Kind::Digit:
            return c >= U'0' && c <= U'9';
        case Kind::Set: {
            bool in = false;
            for (const auto& [lo, hi] : t.ranges)
                if (c >= lo && c <= hi) {
                    in = true;
                    break;
                }
            return in != t.negated;
        }
        case Kind::Star:
            return false;
    }
    return false;
}

bool LikePattern::matches(std::string_view text) const {
    return matchesFolded(TextFold::folded(text));
}

bool LikePattern::matchesFolded(const std::u32string& s) const {
    // Every token but the star takes exactly one character, so on a mismatch it is enough to
    // let the most recent star take one more character and retry from there.
    size_t ti = 0;
    size_t si = 0;
    size_t starToken = SIZE_MAX;
    size_t starText = 0;
    while (si < s.size()) {
        if (ti < m_tokens.size() && m_tokens[ti].kind == Kind::Star) {
            starToken = ti++;
            starText = si;
        } else if (ti < m_tokens.size() && tokenMatches(m_tokens[ti], s[si])) {
            ++ti;
            ++si;
        } else if (starToken != SIZE_MAX) {
            ti = starToken + 1;
            si = ++starText;
        } else {
            return false;
        }
    }
    while (ti < m_tokens.size() && m_tokens[ti].kind == Kind::Star)
        ++ti;
    return ti == m_tokens.size();
}

}  // namespace tessor::provider
