#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace jet::index {

struct IndexPage;

// Index pages as parsed, kept from one change to the next by the bytes they were parsed
// from. A page is only handed out again for exactly those bytes under the same number, so
// nothing can go stale: a page changed since (by this program or another) is parsed afresh.
// Single updates walk the same few node pages every time; this spares parsing them again.
class ParsedIndexPages {
public:
    std::shared_ptr<const IndexPage> find(uint32_t page, const std::vector<uint8_t>& bytes) const;
    // `parsed` must be what IndexPage::parse() gives for these bytes.
    void keep(uint32_t page, const std::vector<uint8_t>& bytes,
              std::shared_ptr<const IndexPage> parsed);

private:
    struct Kept {
        std::vector<uint8_t> bytes;
        std::shared_ptr<const IndexPage> parsed;
    };
    // About 1 MB of pages for a Jet 4 file; past it, some page makes room.
    static constexpr size_t kPages = 256;
    std::unordered_map<uint32_t, Kept> m_pages;
};

}  // namespace jet::index
