// The definition writer against every table definition of the real files (Access 97 ones in
// their own layout) and of built images: written back at the same pages, each reads as it was,
// and on single-page definitions the bytes are Access's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "Jet4ImageBuilder.h"
#include "SameDefinition.h"
#include "TestSupport.h"
#include "WriteFixture.h"
#include "catalog/DatabaseImpl.h"
#include "jet/Database.h"
#include "jet/Error.h"
#include "base/TextCodec.h"
#include "tdef/StoredTableDef.h"
#include "tdef/TableDefReader.h"
#include "tdef/TableDefWriter.h"

using namespace jet;
using namespace jettest;
namespace fs = std::filesystem;

namespace {

struct RoundTrip {
    int tables = 0;
    int sameBytes = 0;
    std::vector<std::string> byteDifferences;
};

// Bytes Access leaves uninitialised, so they differ between its files: TDEF 0x20..0x27 (Jet 4),
// the order byte of unused real-index column slots, and (Access 97) the fixed-offset word of
// variable columns.
void maskUninitialised(const StoredTableDef& def, std::vector<uint8_t>& b, bool jet3) {
    if (!jet3)
        for (size_t i = 0x20; i < 0x28 && i < b.size(); ++i)
            b[i] = 0;
    const size_t stats = jet3 ? 8 : 12, descriptor = jet3 ? 18 : 25, block = jet3 ? 39 : 52;
    const size_t colBase = (jet3 ? 0x2B : 0x3F) + stats * def.realIndexes.size();
    size_t pos = colBase + descriptor * def.columns.size();
    if (jet3)
        for (size_t i = 0; i < def.columns.size() && colBase + 18 * (i + 1) <= b.size(); ++i) {
            uint8_t* d = b.data() + colBase + 18 * i;
            if ((d[0x0D] & 0x01) == 0) d[0x0E] = d[0x0F] = 0;
        }
    for (size_t i = 0; i < def.columns.size() && pos + 2 <= b.size(); ++i)
        pos += jet3 ? 1 + b[pos] : 2 + get16(b, pos);
    const size_t base = jet3 ? 0 : 4;
    for (size_t r = 0; r < def.realIndexes.size() && pos + block <= b.size(); ++r, pos += block)
        for (size_t k = 0; k < 10; ++k)
            if (get16(b, pos + base + 3 * k) == 0xFFFF) b[pos + base + 2 + 3 * k] = 0;
    if (!jet3) return;
    // Access 97 lists the long-value maps in an order of its own (mostly by name); readers
    // match them by column id, so they are compared as a set.
    pos += 20 * def.indexes.size();
    for (size_t i = 0; i < def.indexes.size() && pos < b.size(); ++i)
        pos += 1 + b[pos];
    std::vector<std::vector<uint8_t>> entries;
    size_t end = pos;
    while (end + 10 <= b.size() && get16(b, end) != 0xFFFF) {
        entries.emplace_back(b.begin() + long(end), b.begin() + long(end) + 10);
        end += 10;
    }
    std::sort(entries.begin(), entries.end());
    for (const auto& e : entries) {
        std::copy(e.begin(), e.end(), b.begin() + long(pos));
        pos += 10;
    }
}

// Writes every table definition of the image back over its own pages and reads it again.
void roundTripAll(const std::vector<uint8_t>& image, const std::string& label, RoundTrip& out) {
    std::unique_ptr<Database> db = openImage(image);
    if (db->isEncoded()) return;
    const bool jet3 = db->format() == Format::Jet3;
    const TextCodec* text = &implOf(*db).text();
    std::vector<uint8_t> copy = image;
    const uint32_t ps = db->pageSize();
    std::vector<std::pair<std::string, StoredTableDef>> originals;
    for (const std::string& name : db->tableNames(true)) {
        const StoredTableDef& def = implOf(*db).tableDef(name);
        std::vector<uint32_t> chain;
        std::vector<uint8_t> stored =
            TableDefReader::loadChain(implOf(*db).pager(), def.tdefPage, chain);
        std::vector<uint8_t> written = TableDefWriter::definition(def, text);
        const std::string where = label + " / " + name;
        EXPECT_EQ(written.size(), def.definitionLength) << where;
        ASSERT_EQ(TableDefWriter::pageCount(def, ps, text), chain.size()) << where;
        maskUninitialised(def, stored, jet3);
        maskUninitialised(def, written, jet3);
        bool same = stored.size() >= written.size() &&
                    std::equal(written.begin() + 8, written.end(), stored.begin() + 8);
        if (same)
            ++out.sameBytes;
        else {
            size_t at = 8;
            while (at < written.size() && at < stored.size() && written[at] == stored[at])
                ++at;
            auto hex = [&](const std::vector<uint8_t>& v) {
                std::string h;
                for (size_t k = at & ~size_t(7); k < std::min(v.size(), at + 12); ++k) {
                    char buf[4];
                    std::snprintf(buf, sizeof buf, "%02x ", v[k]);
                    h += buf;
                }
                return h;
            };
            out.byteDifferences.push_back(where + " first differs at " + std::to_string(at) +
                                          ": stored " + hex(stored) + "/ written " + hex(written));
        }
        auto pages = TableDefWriter::pages(def, ps, chain, text);
        for (size_t i = 0; i < chain.size(); ++i) {
            // Access leaves stale bytes past the end; the header and content must match.
            const uint8_t* orig = image.data() + size_t(chain[i]) * ps;
            EXPECT_EQ(0, std::memcmp(pages[i].data(), orig, 8)) << where << " page header " << i;
            std::copy(pages[i].begin(), pages[i].end(), copy.begin() + size_t(chain[i]) * ps);
        }
        originals.emplace_back(name, def);
        ++out.tables;
    }
    std::unique_ptr<Database> again = openImage(copy);
    for (auto& [name, def] : originals)
        expectSameDefinition(implOf(*again).tableDef(name), def, label + " / " + name);
}

}  // namespace

TEST(TableDefWriter, EveryCorpusDefinitionReadsBackAsWritten) {
    if (corpusDir().empty()) GTEST_SKIP() << "corpus not present";
    RoundTrip rt;
    int jet3Files = 0;  // Access 97 definitions, in their own layout
    for (const auto& entry : fs::directory_iterator(corpusDir())) {
        const fs::path src = entry.path();
        const std::string file = src.filename().string();
        if (src.extension() != ".mdb" || (file.rfind("jet4", 0) != 0 && file.rfind("jet3", 0) != 0))
            continue;
        std::vector<uint8_t> bytes = readFileBytes(src);
        try {
            openImage(bytes);
        } catch (const Error&) {
            continue;  // password or encoding: opened elsewhere
        }
        roundTripAll(bytes, file, rt);
        if (file.rfind("jet3", 0) == 0) ++jet3Files;
    }
    for (const auto& d : rt.byteDifferences)
        ADD_FAILURE() << d;
    std::cout << rt.tables << " definitions, " << rt.sameBytes << " byte for byte\n";
    EXPECT_GT(rt.tables, 100);
    EXPECT_GE(jet3Files, 10);
}

TEST(TableDefWriter, BuiltImagesRoundTrip) {
    RoundTrip rt;
    roundTripAll(buildPeopleImage(), "people", rt);
    EXPECT_GE(rt.tables, 2);
    EXPECT_EQ(rt.sameBytes, rt.tables);
}

TEST(TableDefWriter, LongDefinitionsChainAcrossPages) {
    StoredTableDef def;
    def.name = "Wide";
    def.tableType = 0x4E;
    def.ownedMap.raw = 0x0601;
    for (uint16_t i = 0; i < 200; ++i) {
        StoredColumn c;
        c.name = "A rather long field name number " + std::to_string(i);
        c.type = ColumnType::Text;
        c.id = c.columnNumber = c.varIndex = c.descriptorIndex = i;
        c.length = 100;
        c.flags = columnflag::kUpdatable;
        c.sortOrder = 0x409;
        def.columns.push_back(c);
    }
    def.maxColumnCount = def.varColumnCount = 200;
    const uint32_t ps = 4096;
    std::vector<uint8_t> body = TableDefWriter::definition(def);
    size_t n = TableDefWriter::pageCount(def, ps);
    ASSERT_GE(n, 4u);
    std::vector<uint32_t> numbers;
    for (size_t i = 0; i < n; ++i)
        numbers.push_back(10 + uint32_t(i) * 3);
    auto pages = TableDefWriter::pages(def, ps, numbers);
    // Reassembled as the reader does, the pages give back the definition.
    std::vector<uint8_t> joined(pages[0].begin(), pages[0].end());
    for (size_t i = 1; i < n; ++i) {
        EXPECT_EQ(get32(pages[i - 1], 4), numbers[i]);
        joined.insert(joined.end(), pages[i].begin() + 8, pages[i].end());
    }
    EXPECT_EQ(get32(pages[n - 1], 4), 0u);
    EXPECT_EQ(get16(pages[0], 2), 0u);
    EXPECT_GE(get16(pages[n - 1], 2), 0u);
    ASSERT_GE(joined.size(), body.size());
    EXPECT_TRUE(std::equal(body.begin() + 8, body.end(), joined.begin() + 8));
    EXPECT_THROW(TableDefWriter::pages(def, ps, {10}), Error);
    // One byte short of a page with its reserve still fits one page.
    EXPECT_EQ(TableDefWriter::pageCount(4088, ps), 1u);
    EXPECT_EQ(TableDefWriter::pageCount(4089, ps), 2u);
    EXPECT_EQ(TableDefWriter::pageCount(4096 + 4080, ps), 2u);
    EXPECT_EQ(TableDefWriter::pageCount(4096 + 4081, ps), 3u);
}
