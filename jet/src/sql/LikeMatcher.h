#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace jet::sql {

// A LIKE pattern with Jet's wildcards: * any run of characters, ? one character, # one digit,
// [abc] [a-z] one of, [!abc] none of; [*] [?] [#] [[] stand for the character itself. The
// whole text must match; case does not count. Matching takes pattern × text steps at most.
class LikeMatcher {
public:
    // Throws jet::Error (hr::kInvalidArg) for a "[" that is not closed.
    explicit LikeMatcher(std::string_view pattern);
    bool matches(std::string_view text) const;

private:
    enum class Kind { Literal, One, Digit, Any, Set };
    struct Item {
        Kind kind = Kind::Literal;
        char32_t ch = 0;
        bool negated = false;
        std::vector<std::pair<char32_t, char32_t>> ranges;
    };
    bool itemMatches(const Item& item, char32_t c) const;

    std::vector<Item> m_items;
};

}  // namespace jet::sql
