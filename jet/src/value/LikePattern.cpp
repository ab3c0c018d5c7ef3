#include "jet/Error.h"
#include "jet/Text.h"

namespace jet {

LikePattern::LikePattern(std::string_view pattern) {
    const std::u32string p = CaseFold::folded(pattern);
    for (size_t i = 0; i < p.size(); ++i) {
        Item item;
        const char32_t c = p[i];
        if (c == U'*') {
            // Runs of * match what one does.
            if (!m_items.empty() && m_items.back().kind == Kind::Any) continue;
            item.kind = Kind::Any;
        } else if (c == U'?') {
            item.kind = Kind::One;
        } else if (c == U'#') {
            item.kind = Kind::Digit;
        } else if (c == U'[') {
            size_t close = p.find(U']', i + 1);
            if (close == std::u32string::npos)
                throw Error(hr::kInvalidArg, "Invalid pattern string '" + std::string(pattern) +
                                                 "': a '[' is not closed.");
            std::u32string set = p.substr(i + 1, close - i - 1);
            i = close;
            item.kind = Kind::Set;
            size_t k = 0;
            if (set.size() > 1 && set[0] == U'!') {
                item.negated = true;
                k = 1;
            }
            for (; k < set.size(); ++k) {
                if (k + 2 < set.size() && set[k + 1] == U'-') {
                    if (set[k + 2] < set[k])
                        throw Error(hr::kInvalidArg, "Invalid pattern string '" +
                                                         std::string(pattern) +
                                                         "': a range runs backwards.");
                    item.ranges.emplace_back(set[k], set[k + 2]);
                    k += 2;
                } else {
                    item.ranges.emplace_back(set[k], set[k]);
                }
            }
            // "[]" stands for nothing at all.
            if (item.ranges.empty() && !item.negated) continue;
        } else {
            item.ch = c;
        }
        m_items.push_back(std::move(item));
    }
}

bool LikePattern::itemMatches(const Item& item, char32_t c) {
    switch (item.kind) {
        case Kind::Literal:
            return item.ch == c;
        case Kind::One:
        case Kind::Any:
            return true;
        case Kind::Digit:
            return c >= U'0' && c <= U'9';
        case Kind::Set: {
            bool in = false;
            for (const auto& [lo, hi] : item.ranges)
                if (c >= lo && c <= hi) in = true;
            return in != item.negated;
        }
    }
    return false;
}

bool LikePattern::matches(std::string_view text) const {
    return matchesFolded(CaseFold::folded(text));
}

bool LikePattern::matchesFolded(const std::u32string& t) const {
    // can[j]: the items so far match the first j characters.
    std::vector<char> can(t.size() + 1, 0), next(t.size() + 1, 0);
    can[0] = 1;
    for (const Item& item : m_items) {
        if (item.kind == Kind::Any) {
            next[0] = can[0];
            for (size_t j = 1; j <= t.size(); ++j)
                next[j] = can[j] || next[j - 1];
        } else {
            next[0] = 0;
            for (size_t j = 1; j <= t.size(); ++j)
                next[j] = can[j - 1] && itemMatches(item, t[j - 1]);
        }
        can.swap(next);
    }
    return can[t.size()] != 0;
}

}  // namespace jet
