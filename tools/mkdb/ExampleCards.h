#pragma once

#include <filesystem>

namespace tessor::tools {

// The example a newcomer opens first: Cards.mdb with a table of cards (names, numbers, dates,
// a picture file name per card and the print-information fields) and a Pictures folder
// holding each card's picture, in several of the formats the preview reads.
class ExampleCards {
public:
    static constexpr int kCards = 36;

    // Writes folder/Cards.mdb and folder/Pictures/, replacing what an earlier run left there.
    static void write(const std::filesystem::path& folder);
};

}  // namespace tessor::tools
