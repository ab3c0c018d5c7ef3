#include "tdef/DefinitionStore.h"

#include "tdef/StoredTableDef.h"
#include "tdef/TableDefWriter.h"

namespace jet {

void DefinitionStore::write(PageSet& pages, PageSpace& space, StoredTableDef& def,
                            const TextCodec* text) {
    std::vector<uint32_t> chain = def.tdefPages;
    if (chain.empty()) chain.push_back(def.tdefPage);
    const size_t needed = TableDefWriter::pageCount(def, pages.pageSize(), text);
    while (chain.size() > needed) {
        space.release(chain.back());
        chain.pop_back();
    }
    while (chain.size() < needed) {
        std::vector<uint8_t> placeholder(pages.pageSize(), 0);
        placeholder[0] = 0x02;
        placeholder[1] = 0x01;
        chain.push_back(space.allocate(placeholder));
    }
    auto written = TableDefWriter::pages(def, pages.pageSize(), chain, text);
    for (size_t i = 0; i < chain.size(); ++i)
        pages.modify(chain[i]) = std::move(written[i]);
    def.tdefPages = chain;
}

void DefinitionStore::release(PageSpace& space, const StoredTableDef& def) {
    std::vector<uint32_t> chain = def.tdefPages;
    if (chain.empty()) chain.push_back(def.tdefPage);
    for (uint32_t p : chain)
        space.release(p);
}

}  // namespace jet
