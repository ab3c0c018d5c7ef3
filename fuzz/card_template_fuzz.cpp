// libFuzzer target: any text read as a card-design template. A refusal must come with a reason;
// an accepted template must hold only what the format allows.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cardio/CardTemplate.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

void checkSide(const cardio::CardSide& side) {
    check(side.objects.size() <= cardio::kMaxObjectsPerSide);
    check(side.present || side.objects.empty());
    for (const auto& o : side.objects) check(!o.name.empty() && o.name.size() <= cardio::kMaxName);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    cardio::CardTemplate card;
    std::string error;
    if (cardio::ParseCardTemplate(text, card, error)) {
        checkSide(card.front);
        checkSide(card.back);
        check(card.sidesCode() >= 0 && card.sidesCode() <= 3);
    } else {
        check(!error.empty());
    }
    return 0;
}
