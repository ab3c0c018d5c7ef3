#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tessor::provider {

// A LIKE pattern with the database's wildcards: * any run of characters, ? one character,
// # one digit, [abc] [a-z] one of, [!abc] none of; [*] [?] [#] [[] match the character itself.
// Matching ignores case. The whole text must match. Worst case O(pattern x text), no blow-up.
class LikePattern {
public:
    // Throws ProviderError for an unclosed "[".
    explicit LikePattern(std::string_view pattern);

    bool matches(std::string_view text) const;
    // text already folded (TextFold::folded); saves the work when one pattern meets many texts.
    bool matchesFolded(const std::u32string& text) const;

private:
    enum class Kind { Literal, Any, Digit, Star, Set };
    struct Token {
        Kind kind;
        char32_t ch = 0;       // Literal
        bool negated = false;  // Set
        std::vector<std::pair<char32_t, char32_t>> ranges;
    };

    bool tokenMatches(const Token& t, char32_t c) const;

    std::vector<Token> m_tokens;
};

}  // namespace tessor::provider
