#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace jet {

class Database;

// Text compared as the database compares it for = and LIKE: without regard to case, character
// by character (accents count). Texts are UTF-8; a byte that starts no complete character stands
// for itself, apart from every real character, so folding never fails.
class CaseFold {
public:
    // Next code point of s from pos (pos < s.size()), advancing pos.
    static char32_t decode(std::string_view s, size_t& pos);
    static char32_t fold(char32_t c);
    static std::u32string folded(std::string_view s);
    static bool equal(std::string_view a, std::string_view b);
    // <0, 0, >0 comparing the folded code points: an order for names, not the database's sort.
    static int compare(std::string_view a, std::string_view b);
};

// A LIKE pattern with the database's wildcards: * any run of characters, ? one character,
// # one digit, [abc] [a-z] one of, [!abc] none of; [*] [?] [#] [[] stand for the character
// itself. The whole text must match; case does not count. Matching takes pattern × text steps
// at most.
class LikePattern {
public:
    // Throws jet::Error (kInvalidArg) for a "[" that is not closed.
    explicit LikePattern(std::string_view pattern);
    bool matches(std::string_view text) const;
    // The text already folded (CaseFold::folded): saves the work when one pattern meets many.
    bool matchesFolded(const std::u32string& text) const;

private:
    enum class Kind : uint8_t { Literal, One, Digit, Any, Set };
    struct Item {
        Kind kind = Kind::Literal;
        char32_t ch = 0;
        bool negated = false;
        std::vector<std::pair<char32_t, char32_t>> ranges;
    };
    static bool itemMatches(const Item& item, char32_t c);

    std::vector<Item> m_items;
};

// The database's order of text: the order of the keys its indexes store ("General" sort order),
// so that a sort, a search, a filter and an index agree on what comes first and what is equal.
// Texts are equal when their keys are: case does not count, accents do, and so do most other
// characters, but trailing blanks and a few characters the sort order ignores do not. Keys cover
// the first 255 characters; longer texts that share those are ordered by CaseFold::compare.
class Collation {
public:
    // The order a new table's text columns get: Jet 4's "General".
    Collation() = default;
    // The order of the database's text (its own sort order where this engine knows its keys,
    // "General" otherwise, as statements sort).
    static Collation of(const Database& db);
    // Jet 3's "General" order (Access 97 files).
    static Collation general97() {
        Collation c;
        c.m_general97 = true;
        return c;
    }

    int compare(std::string_view a, std::string_view b) const;
    // Key bytes that compare (as unsigned bytes) in this order (for the first 255 characters).
    void appendKey(std::string_view text, std::vector<uint8_t>& out) const;
    bool isGeneral97() const { return m_general97; }

private:
    bool m_general97 = false;  // Jet 3's "General" instead of Jet 4's
};

// One text that many others are compared with (a condition's literal, tested against every
// row): its key is made once, here, rather than at every comparison.
class CollationKey {
public:
    CollationKey(const Collation& order, std::string_view text);
    // The same as order.compare(other, text).
    int compare(std::string_view other) const;

private:
    Collation m_order;
    std::string m_text;
    std::vector<uint8_t> m_key;
    bool m_keyedWhole = true;  // the key covers every character of the text
};

}  // namespace jet
