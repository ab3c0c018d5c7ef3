#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "index/IndexPageSink.h"
#include "jet/Schema.h"
#include "page/PageSet.h"
#include "tdef/StoredTableDef.h"

namespace jet::index {

// The pages of one real index within one change of the write side: reads and
// writes go to the change's page set, new pages come from the global free map
// and join the index's usage map, freed pages leave it, and a new root (and
// the distinct-key count) is written into the table definition's real-index
// block, wherever the TDEF chain puts it. Jet 4 only. The page set and table
// definition must outlive the sink.
class PageSetIndexSink : public IndexPageSink {
public:
    // `parsed`, when given, keeps the index's parsed pages for later changes; it must
    // outlive the sink.
    PageSetIndexSink(PageSet& pages, const StoredTableDef& table, size_t realIndex,
                     ParsedIndexPages* parsed = nullptr);

    std::vector<uint8_t> readPage(uint32_t page) override;
    void writePage(uint32_t page, std::span<const uint8_t> bytes) override;
    uint32_t allocatePage() override;
    void freePage(uint32_t page) override;
    void rootMoved(uint32_t page) override;
    ParsedIndexPages* parsedPages() override { return m_parsed; }
    const std::vector<uint8_t>& pageBytes(uint32_t page) override;

    // The root as the definition holds it within this change (after rootMoved()
    // it differs from the StoredTableDef read before the change).
    uint32_t storedRoot();
    // Adds `delta` to the stored distinct-key count (IndexRowChange::uniqueDelta).
    void addToUniqueCount(int delta);

private:
    // Offset in the reassembled definition of this index's stats and block.
    void findFields();
    void putDefinition32(size_t offset, uint32_t value);
    uint32_t getDefinition32(size_t offset);
    std::pair<uint32_t, size_t> definitionPlace(size_t offset) const;  // TDEF page, byte
    uint8_t definitionAt(size_t offset);
    uint8_t& definitionByte(size_t offset);  // marks the page changed

    PageSet& m_pages;
    const StoredTableDef& m_table;
    size_t m_realIndex;
    std::string m_what;
    size_t m_statsOffset = 0;
    size_t m_blockOffset = 0;
    bool m_found = false;
    ParsedIndexPages* m_parsed = nullptr;
};

}  // namespace jet::index
