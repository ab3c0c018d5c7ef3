// libFuzzer target for the page readers, one page kind at a time. At start it builds a database
// with the engine (a table of every type, a primary key, a text index and a compound index, rows
// on several data pages, memos stored inline, on one long-value page and over a chain of them,
// a moved record) and sorts its pages by kind. Each input then replaces one page of that
// database and the whole file is opened and read through, with the integrity check:
//
//   byte 0  which kind of page (header, catalog data, table data, long values, table
//           definition, index node, index leaf, usage map), modulo the kinds present
//   byte 1  which page of that kind, modulo their count
//   rest    the page's new bytes from its start; bytes past the input keep their old value
//
// Only jet::Error may escape. Inputs are at most a page and the file stays small, so this
// reaches far more inputs per second than the whole-file target.
//
// Seeds: when the first corpus folder on the command line holds no file yet, the target writes
// each page of the built database into it as an input that changes nothing, so mutation starts
// from real pages rather than from nothing.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ReadEverything.h"
#include "jet/Database.h"
#include "jet/Env.h"
#include "jet/Error.h"

namespace {

namespace fs = std::filesystem;

enum PageKind : uint8_t {
    kHeader,
    kCatalogData,
    kTableData,
    kLongValues,
    kTableDefinition,
    kIndexNode,
    kIndexLeaf,
    kUsageMap,
    kKinds
};

struct Image {
    std::vector<uint8_t> bytes;
    uint32_t pageSize = 0;
    std::vector<std::vector<uint32_t>> pagesOfKind;  // per PageKind; kinds absent stay empty
    std::vector<PageKind> presentKinds;
};

std::string text(size_t length, char seed) {
    std::string s;
    s.reserve(length);
    for (size_t i = 0; i < length; ++i)
        s.push_back(char('a' + (seed + i * 7) % 26));
    return s;
}

std::vector<jet::Value> cardRow(int i) {
    std::vector<jet::Value> row;
    row.emplace_back();                                // AutoNumber
    row.emplace_back(text(70 + i % 30, char(i * 5)));  // long keys: the index spans pages
    // Memos: inline, one long-value page, a chain of pages; some null.
    const size_t memo = i == 30 ? 9000 : i % 7 == 0 ? 1500 : size_t(i % 5) * 11;
    if (i % 9 == 4)
        row.emplace_back();
    else
        row.emplace_back(text(memo, char(i + 3)));
    row.emplace_back(std::vector<uint8_t>(i == 20 ? 5000 : size_t(i % 3), uint8_t(i)));
    row.emplace_back(jet::Currency{int64_t(i) * 12345 - 400000});
    row.emplace_back(double(i) / 3.0 - 20.0);
    row.emplace_back(i % 2 == 0);
    row.emplace_back(uint8_t(i));
    row.emplace_back(int16_t(i * 97 - 3000));
    row.emplace_back(jet::DateTime{36000.0 + i * 1.25});
    jet::Guid g;
    for (size_t b = 0; b < g.bytes.size(); ++b)
        g.bytes[b] = uint8_t(i * 31 + b);
    row.emplace_back(g);
    jet::Decimal d;
    d.lo = uint64_t(i) * 1001;
    d.negative = i % 3 == 0;
    d.precision = 10;
    d.scale = 2;
    row.emplace_back(d);
    row.emplace_back(std::vector<uint8_t>(size_t(i % 16), uint8_t(0xA0 + i)));
    row.emplace_back(float(i) * 0.5f);
    return row;
}

void buildDatabase(const fs::path& path) {
    jet::Database::create(path);
    jet::OpenOptions options;
    options.readOnly = false;
    options.exclusive = true;
    auto db = jet::Database::open(path, options);

    using T = jet::ColumnType;
    jet::NewTable table;
    table.name = "Cards";
    auto column = [&](const char* name, T type, uint16_t length = 255) {
        jet::NewColumn c;
        c.name = name;
        c.type = type;
        c.length = length;
        return c;
    };
    table.columns = {
        column("ID", T::Long),         column("Name", T::Text, 120), column("Notes", T::Memo),
        column("Photo", T::Ole),       column("Amount", T::Money),   column("Ratio", T::Double),
        column("Active", T::Bool),     column("Level", T::Byte),     column("Small", T::Int),
        column("Issued", T::DateTime), column("Token", T::Guid),     column("Price", T::Numeric),
        column("Chip", T::Binary, 16), column("Scale", T::Float)};
    table.columns[0].autoNumber = true;
    table.columns[11].precision = 10;
    table.columns[11].scale = 2;
    jet::NewIndex primary{"PrimaryKey", {{"ID"}}, true, true};
    jet::NewIndex byName{"ByName", {{"Name"}}};
    jet::NewIndex compound{"ByAmountIssued", {{"Amount"}, {"Issued", false}}};
    table.indexes = {primary, byName, compound};
    db->createTable(table);

    db->transact([&] {
        for (int i = 0; i < 60; ++i)
            db->insertRow("Cards", cardRow(i));
    });
    // A record that grows past its page's room moves elsewhere and leaves a pointer behind.
    const jet::TableData data = db->readTable("Cards");
    std::vector<jet::Value> grown = data.rows[3];
    grown[1] = std::string("Grown ") + text(50, 'g');
    grown[2] = text(3000, 'm');
    db->updateRow("Cards", data.rowIds[3], grown);
    db->deleteRow("Cards", data.rowIds[10]);
}

PageKind kindOf(const uint8_t* page, uint32_t number, const Image& image) {
    if (number == 0) return kHeader;
    switch (page[0]) {
        case 0x01: {
            if (std::memcmp(page + 4, "LVAL", 4) == 0) return kLongValues;
            uint32_t owner = 0;
            std::memcpy(&owner, page + 4, 4);
            return owner == 2 ? kCatalogData : kTableData;  // MSysObjects is defined on page 2
        }
        case 0x02:
            return kTableDefinition;
        case 0x03:
            return kIndexNode;
        case 0x04:
            return kIndexLeaf;
        case 0x05:
            return kUsageMap;
        default:
            (void)image;
            return kKinds;
    }
}

const Image& image() {
    static const Image built = [] {
        Image im;
        const fs::path path =
            fs::temp_directory_path() / ("page-kind-fuzz-" + std::to_string(::getpid()) + ".mdb");
        std::error_code ignored;
        fs::remove(path, ignored);
        try {
            buildDatabase(path);
        } catch (const jet::Error& e) {
            std::fprintf(stderr, "page_kind_fuzz: building the database failed: %s\n", e.what());
            std::abort();
        }
        std::ifstream in(path, std::ios::binary);
        im.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        fs::remove(path, ignored);
        im.pageSize = 4096;  // the engine creates Jet 4 files
        im.pagesOfKind.resize(kKinds);
        for (uint32_t p = 0; p < im.bytes.size() / im.pageSize; ++p) {
            const PageKind kind = kindOf(im.bytes.data() + size_t(p) * im.pageSize, p, im);
            if (kind != kKinds) im.pagesOfKind[kind].push_back(p);
        }
        for (uint8_t k = 0; k < kKinds; ++k)
            if (!im.pagesOfKind[k].empty()) im.presentKinds.push_back(PageKind(k));
        return im;
    }();
    return built;
}

// The built database with one page replaced, read from memory.
class PatchedFile : public jet::FileIO {
public:
    PatchedFile(const Image& image, uint32_t page, const uint8_t* data, size_t size)
        : m_image(image),
          m_pageStart(uint64_t(page) * image.pageSize),
          m_page(image.bytes.begin() + long(m_pageStart),
                 image.bytes.begin() + long(m_pageStart + image.pageSize)) {
        std::memcpy(m_page.data(), data, std::min<size_t>(size, m_page.size()));
    }
    uint64_t size() override { return m_image.bytes.size(); }
    void read(uint64_t offset, uint8_t* dst, size_t len) override {
        if (offset > m_image.bytes.size() || len > m_image.bytes.size() - offset)
            throw jet::Error(jet::hr::kCorrupt, "read past the end of the file");
        std::memcpy(dst, m_image.bytes.data() + offset, len);
        const uint64_t end = offset + len, pageEnd = m_pageStart + m_page.size();
        if (offset < pageEnd && end > m_pageStart) {
            const uint64_t from = std::max(offset, m_pageStart), to = std::min(end, pageEnd);
            std::memcpy(dst + (from - offset), m_page.data() + (from - m_pageStart), to - from);
        }
    }
    void write(uint64_t, const uint8_t*, size_t) override { std::abort(); }  // opened read-only
    void sync() override {}
    void truncate(uint64_t) override { std::abort(); }

private:
    const Image& m_image;
    uint64_t m_pageStart;
    std::vector<uint8_t> m_page;
};

void writeSeeds(const fs::path& folder) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec) || !fs::is_empty(folder, ec)) return;
    const Image& im = image();
    for (size_t k = 0; k < im.presentKinds.size(); ++k) {
        const auto& pages = im.pagesOfKind[im.presentKinds[k]];
        for (size_t i = 0; i < pages.size() && i < 256; ++i) {
            std::ofstream out(folder / ("page-" + std::to_string(pages[i])), std::ios::binary);
            const char head[2] = {char(k), char(i)};
            out.write(head, 2);
            out.write(
                reinterpret_cast<const char*>(im.bytes.data()) + size_t(pages[i]) * im.pageSize,
                im.pageSize);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    for (int i = 1; i < *argc; ++i) {
        if ((*argv)[i][0] == '-') continue;
        writeSeeds((*argv)[i]);
        break;
    }
    (void)image();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const Image& im = image();
    const PageKind kind = im.presentKinds[data[0] % im.presentKinds.size()];
    const auto& pages = im.pagesOfKind[kind];
    const uint32_t page = pages[data[1] % pages.size()];
    tessor::fuzz::readEverything(std::make_unique<PatchedFile>(im, page, data + 2, size - 2));
    return 0;
}
