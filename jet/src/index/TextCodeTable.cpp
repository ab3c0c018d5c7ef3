#include "index/TextCodeTable.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace jet::index {
namespace {

#include "index/General97Codes.inc"
#include "index/GeneralLegacyCodes.inc"

constexpr std::uint8_t kRunPool = 0;
constexpr std::uint8_t kRunSequential = 2;

std::size_t recordSize(const std::uint8_t* rec) {
    return 2 + (rec[1] & 0x0F) + (rec[1] >> 4);
}

CharCodes decodeRecord(const std::uint8_t* rec) {
    CharCodes codes;
    codes.kind = static_cast<CharCodes::Kind>(rec[0] & 0x0F);
    codes.weights = static_cast<std::uint8_t>(rec[0] >> 4);
    codes.inlineLen = rec[1] & 0x0F;
    codes.extraLen = rec[1] >> 4;
    std::copy_n(rec + 2, codes.inlineLen, codes.inlineData.begin());
    std::copy_n(rec + 2 + codes.inlineLen, codes.extraLen, codes.extraData.begin());
    return codes;
}

template <std::size_t NRuns, std::size_t NPool>
CharCodes lookup(const TextCodeRun (&runs)[NRuns], const std::uint8_t (&pool)[NPool], char16_t c) {
    const auto it = std::upper_bound(std::begin(runs), std::end(runs), c,
                                     [](char16_t v, const TextCodeRun& r) { return v < r.first; });
    // the first run starts at code unit 0, so `it` is never begin()
    const TextCodeRun& run = *std::prev(it);
    const unsigned index = static_cast<unsigned>(c) - run.first;
    if (run.kind == kRunPool) {
        const std::uint8_t* rec = pool + run.payload;
        for (unsigned i = 0; i < index; ++i)
            rec += recordSize(rec);
        return decodeRecord(rec);
    }
    if (run.kind == kRunSequential) {
        const unsigned code = run.payload + index;
        CharCodes codes;
        codes.kind = CharCodes::Kind::Simple;
        codes.weights = 1;
        codes.inlineLen = 2;
        codes.inlineData = {static_cast<std::uint8_t>(code >> 8), static_cast<std::uint8_t>(code),
                            0, 0};
        return codes;
    }
    return {};
}

}  // namespace

CharCodes TextCodeTable::generalLegacy(char16_t c) {
    // Pool runs are walked record by record; the Latin-1 range, which most text keys are made
    // of, is looked up once.
    static const std::array<CharCodes, 256> latin1 = [] {
        std::array<CharCodes, 256> all{};
        for (unsigned u = 0; u < all.size(); ++u)
            all[u] = lookup(kGeneralLegacyRuns, kGeneralLegacyPool, static_cast<char16_t>(u));
        return all;
    }();
    if (c < latin1.size()) return latin1[c];
    return lookup(kGeneralLegacyRuns, kGeneralLegacyPool, c);
}

CharCodes TextCodeTable::general97(char16_t c) {
    if (c > 0xFF) {
        const auto it =
            std::lower_bound(std::begin(kGeneral97Mappings), std::end(kGeneral97Mappings), c,
                             [](const std::uint16_t(&m)[2], char16_t v) { return m[0] < v; });
        if (it == std::end(kGeneral97Mappings) || (*it)[0] != c) return {};
        c = static_cast<char16_t>((*it)[1]);
    }
    return lookup(kGeneral97Runs, kGeneral97Pool, c);
}

}  // namespace jet::index
