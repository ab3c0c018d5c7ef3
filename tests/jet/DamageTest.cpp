// Damaged and hostile files: every one must end in a jet::Error, never a crash, a hang or a
// huge allocation. Targeted damage on built images, then truncation, noise and bit flips over
// real files.
#include <gtest/gtest.h>

#include <random>

#include "Jet4ImageBuilder.h"
#include "TestSupport.h"
#include "catalog/DatabaseImpl.h"
#include "jet/Check.h"
#include "jet/Database.h"
#include "jet/Error.h"
#include "page/MapPointer.h"

using namespace jet;
using namespace jettest;
using B = Jet4ImageBuilder;

namespace {

constexpr size_t kPage = B::kPageSize;

std::vector<uint8_t> u16le(const std::u16string& s) {
    std::vector<uint8_t> b;
    for (char16_t c : s) {
        b.push_back(static_cast<uint8_t>(c));
        b.push_back(static_cast<uint8_t>(c >> 8));
    }
    return b;
}

// Opens the image and reads everything it holds, as an export and the checker would.
// Returns the error code, or 0 when all of it read cleanly.
uint32_t readEverything(const std::vector<uint8_t>& image,
                        std::vector<std::string>* problems = nullptr,
                        const OpenOptions& options = {}) {
    try {
        auto db = openImage(image, options);
        for (const auto& name : db->tableNames(true)) {
            try {
                db->forEachRow(name, [](RowId, const std::vector<Value>&) { return true; });
            } catch (const Error&) {
                // Keep going: the other tables and the checker must cope too.
            }
        }
        auto found = checkIntegrity(*db);
        if (problems) *problems = found;
        for (const auto& name : db->tableNames(true))
            db->forEachRow(name, [](RowId, const std::vector<Value>&) { return true; });
        return 0;
    } catch (const Error& e) {
        return e.code();
    }
}

struct SmallImage {
    B b;
    int t;
    SmallImage(bool loopChain = false) {
        t = b.addTable("Notes", {{"Id", ColumnType::Long}, {"Body", ColumnType::Memo, false}});
        std::u16string text(900, u'x');
        b.addRow(t, {B::i32(1), b.longValueChain(t, "Body", u16le(text), 400, loopChain)});
        B::RowOptions moved;
        moved.moved = true;
        b.addRow(t, {B::i32(2), B::longValueInline(u16le(u"hi"))}, moved);
    }
};

}  // namespace

TEST(Damage, LoopingLongValueChain) {
    SmallImage img(true);
    auto image = img.b.build();
    auto db = openImage(image);
    EXPECT_EQ(errorCodeOf([&] { db->readTable("Notes"); }), hr::kCorrupt);
    auto problems = checkIntegrity(*db);
    ASSERT_FALSE(problems.empty());
    EXPECT_NE(problems[0].find("loops"), std::string::npos) << problems[0];
}

TEST(Damage, TargetedCorruption) {
    SmallImage img;
    const auto good = img.b.build();
    ASSERT_EQ(readEverything(good), 0u);
    const uint32_t tdef = img.b.tdefPage(img.t), data = img.b.dataPage(img.t),
                   lval = img.b.lvalPage(img.t, "Body");

    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> damage;
    };
    const std::vector<Case> cases = {
        {"definition chain points at itself", [&](auto& f) { put32(f, tdef * kPage + 4, tdef); }},
        {"definition claims 65535 columns",
         [&](auto& f) { put16(f, tdef * kPage + 0x2D, 0xFFFF); }},
        {"page map pointer past the end",
         [&](auto& f) { put32(f, tdef * kPage + 0x37, 9999u << 8); }},
        {"moved row points at itself",
         [&](auto& f) {
             uint16_t off = get16(f, data * kPage + 0x0E + 2) & 0x1FFF;
             put32(f, data * kPage + off, data << 8 | 1);
         }},
        {"long value claims a gigabyte",
         [&](auto& f) {
             // The chain row's own next pointer runs off to a page that does not exist.
             uint16_t off = get16(f, lval * kPage + 0x0E) & 0x1FFF;
             put32(f, lval * kPage + off, 0x7FFFFF00);
         }},
        {"slot count larger than the page", [&](auto& f) { put16(f, data * kPage + 0x0C, 3000); }},
        {"row offset outside the page", [&](auto& f) { put16(f, data * kPage + 0x0E, 0x1FFF); }},
        {"catalog page is no definition", [&](auto& f) { f[2 * kPage] = 0x01; }},
        {"file cut inside the catalog", [&](auto& f) { f.resize(2 * kPage + 100); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto image = good;
        c.damage(image);
        std::vector<std::string> problems;
        uint32_t code = readEverything(image, &problems);
        // Either opening already fails, or the checker names the damage.
        if (code == 0)
            EXPECT_FALSE(problems.empty());
        else
            EXPECT_EQ(code, hr::kCorrupt);
    }
}

TEST(Damage, DeclaredLengthIsBoundedByTheFile) {
    // An inline value claiming a gigabyte must fail before anything of that size is allocated.
    B b;
    int t = b.addTable("T", {{"Blob", ColumnType::Ole, false}});
    std::vector<uint8_t> desc(12, 0);
    put32(desc, 0, 0x3FFFFFFF);  // chained, 1 GB
    put32(desc, 4, 5u << 8);
    b.addRow(t, {B::raw(desc)});
    auto db = openImage(b.build());
    EXPECT_EQ(errorCodeOf([&] { db->readTable("T"); }), hr::kCorrupt);
}

TEST(Damage, TruncatedFiles) {
    if (corpusDir().empty()) GTEST_SKIP() << "testdata/mdb is not present";
    for (const char* name : {"jet4-2000-jackcess-msproject-ole.mdb", "jet3-pecl-bigmemo.mdb",
                             "jet4-jackcessencrypt-rc4-encoded.mdb"}) {
        const auto full = readFileBytes(corpusDir() / name);
        for (size_t len : {size_t(0), size_t(10), size_t(2047), size_t(2048), size_t(4095),
                           size_t(4096), size_t(8192), size_t(3 * 4096 + 17), full.size() / 3,
                           full.size() / 2, full.size() - 1}) {
            SCOPED_TRACE(std::string(name) + " cut to " + std::to_string(len));
            std::vector<uint8_t> cut(full.begin(), full.begin() + std::min(len, full.size()));
            uint32_t code = readEverything(cut);
            EXPECT_TRUE(code == 0 || code == hr::kCorrupt || code == hr::kNotSupported)
                << std::hex << code;
        }
    }
}

TEST(Damage, RandomBytes) {
    std::mt19937 rng(20261207);
    std::vector<uint8_t> header;
    if (!corpusDir().empty()) {
        auto real = readFileBytes(corpusDir() / "jet4-2003-jackcess-overflow.mdb");
        header.assign(real.begin(), real.begin() + 4096);
    } else {
        SmallImage img;
        auto built = img.b.build();
        header.assign(built.begin(), built.begin() + 4096);
    }
    for (int i = 0; i < 60; ++i) {
        size_t pages = 3 + rng() % 40;
        std::vector<uint8_t> image(pages * 4096);
        for (auto& b : image)
            b = static_cast<uint8_t>(rng());
        if (i % 2 == 0) std::copy(header.begin(), header.end(), image.begin());
        // Plausible page types make the reader go deeper before it finds nonsense.
        for (size_t p = 1; p < pages; ++p) {
            image[p * 4096] = static_cast<uint8_t>(1 + rng() % 5);
            image[p * 4096 + 1] = 1;
        }
        uint32_t code = readEverything(image);
        EXPECT_TRUE(code == 0 || code == hr::kCorrupt || code == hr::kNotSupported ||
                    code == hr::kAuthFailed)
            << std::hex << code;
    }
}

TEST(Damage, BitFlipsOverRealFiles) {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
    if (!corpusDir().empty()) {
        for (const char* name :
             {"jet4-2000-jackcess-msproject-ole.mdb", "jet4-2003-jackcess-overflow.mdb",
              "jet3-pecl-bigmemo.mdb", "jet3-jackcess-types.mdb", "jet4-2000-jackcess-decimal.mdb",
              "jet4-2003-jackcess-unicode-comp.mdb", "jet4-jackcessencrypt-rc4-encoded.mdb"})
            files.emplace_back(name, readFileBytes(corpusDir() / name));
    }
    SmallImage img;
    files.emplace_back("built", img.b.build());
    std::mt19937 rng(7);
    int variants = 0, refused = 0;
    for (const auto& [name, original] : files) {
        for (int v = 0; v < 60; ++v) {
            auto image = original;
            int flips = 1 + static_cast<int>(rng() % 24);
            for (int k = 0; k < flips; ++k) {
                // Aim at page headers and row areas of the first pages, where structure lives.
                size_t page = rng() % std::min<size_t>(image.size() / 2048, 64);
                size_t at = page * 2048 + (rng() % 2 ? rng() % 64 : rng() % 2048);
                if (at < image.size()) image[at] ^= static_cast<uint8_t>(1u << (rng() % 8));
            }
            SCOPED_TRACE(name + " variant " + std::to_string(v));
            uint32_t code = readEverything(image);
            EXPECT_TRUE(code == 0 || code == hr::kCorrupt || code == hr::kNotSupported ||
                        code == hr::kAuthFailed)
                << std::hex << code;
            ++variants;
            refused += code != 0;
        }
    }
    EXPECT_GE(variants, 60);
    // The flips must reach structure that matters, or this test proves nothing.
    EXPECT_GT(refused, variants / 5) << refused << " of " << variants;
}

namespace {

// Byte position of row `row` on page `page` of a plain image.
size_t rowAt(const std::vector<uint8_t>& image, uint32_t page, uint8_t row) {
    return page * kPage + (get16(image, page * kPage + 0x0E + 2 * row) & 0x1FFF);
}

void setMapBit(std::vector<uint8_t>& image, MapPointer map, uint32_t page, bool on) {
    size_t at = rowAt(image, map.page(), map.row()) + 5 + page / 8;
    if (on)
        image[at] |= static_cast<uint8_t>(1 << (page % 8));
    else
        image[at] &= static_cast<uint8_t>(~(1 << (page % 8)));
}

bool mentions(const std::vector<std::string>& problems, const std::string& text) {
    for (const auto& p : problems)
        if (p.find(text) != std::string::npos) return true;
    return false;
}

}  // namespace

TEST(Damage, CheckerNamesMisplacedPages) {
    SmallImage img;
    const auto good = img.b.build();
    const uint32_t data = img.b.dataPage(img.t), lval = img.b.lvalPage(img.t, "Body");
    MapPointer lvMap, owned;
    {
        auto db = openImage(good);
        lvMap = implOf(*db).tableDef("Notes").findColumn("Body")->lvOwnedMap;
        owned = implOf(*db).tableDef("Notes").ownedMap;
        ASSERT_EQ(checkIntegrity(*db), std::vector<std::string>{});
    }
    {
        // The long value's page drops out of its column's map.
        auto image = good;
        setMapBit(image, lvMap, lval, false);
        auto problems = checkIntegrity(*openImage(image));
        EXPECT_TRUE(mentions(problems, "which is not in the column's page map"));
        EXPECT_TRUE(mentions(
            problems, "page " + std::to_string(lval) + " is marked in use but nothing owns it"));
    }
    {
        // A page of the table claims to belong to another table.
        auto image = good;
        put32(image, data * kPage + 4, 2);
        auto problems = checkIntegrity(*openImage(image));
        EXPECT_TRUE(mentions(problems, "but belongs to the table at page 2"));
        EXPECT_TRUE(mentions(problems, "holds 0 rows but its definition says 2"));
    }
    {
        // The global map calls a used page free.
        auto image = good;
        setMapBit(image, MapPointer{1u << 8}, data, true);
        auto problems = checkIntegrity(*openImage(image));
        EXPECT_TRUE(mentions(problems, "page " + std::to_string(data) +
                                           " is marked free but is used by table 'Notes'"));
    }
    {
        // Two tables list the same page.
        auto image = good;
        setMapBit(image, owned, lval, true);
        auto problems = checkIntegrity(*openImage(image));
        EXPECT_TRUE(mentions(problems, "is claimed twice"));
    }
}

TEST(Damage, CheckerOutputIsBounded) {
    // A reference map whose bitmap page has every bit set names half a million pages past the
    // end of the file; the findings must stay a readable, bounded list.
    SmallImage img;
    auto image = img.b.build();
    MapPointer owned;
    {
        auto db = openImage(image);
        owned = implOf(*db).tableDef("Notes").ownedMap;
    }
    const uint32_t bitmapPage = static_cast<uint32_t>(image.size() / kPage);
    std::vector<uint8_t> bitmap(kPage, 0xFF);
    bitmap[0] = 0x05;
    bitmap[1] = 0x01;
    bitmap[2] = bitmap[3] = 0;
    image.insert(image.end(), bitmap.begin(), bitmap.end());
    size_t row = rowAt(image, owned.page(), owned.row());
    image[row] = 0x01;  // reference map: one bitmap page, the other slots empty
    std::fill(image.begin() + row + 1, image.begin() + row + 69, 0);
    put32(image, row + 1, bitmapPage);
    auto db = openImage(image);
    EXPECT_EQ(errorCodeOf([&] { db->readTable("Notes"); }), hr::kCorrupt);
    auto problems = checkIntegrity(*db);
    EXPECT_LE(problems.size(), 1100u);
    EXPECT_TRUE(mentions(problems, "further problems")) << problems.size();
}

TEST(Damage, SharedStoredValuesAreRefused) {
    // Many rows naming one long value: legal files never share, and reading it once per row
    // would turn a small file into endless work.
    B b;
    int t = b.addTable("T", {{"Id", ColumnType::Long}, {"Blob", ColumnType::Ole, false}});
    auto shared = b.longValueSingle(t, "Blob", std::vector<uint8_t>(3000, 0xAB));
    for (int i = 0; i < 40; ++i)
        b.addRow(t, {B::i32(i), shared});
    auto db = openImage(b.build());
    EXPECT_EQ(errorCodeOf([&] { db->readTable("T"); }), hr::kCorrupt);

    // Two slots pointing at one moved row.
    B m;
    int u = m.addTable("U", {{"Id", ColumnType::Long}});
    B::RowOptions moved;
    moved.moved = true;
    m.addRow(u, {B::i32(1)}, moved);
    m.addRow(u, {B::i32(2)}, moved);
    auto image = m.build();
    const uint32_t data = m.dataPage(u);
    put32(image, rowAt(image, data, 1), get32(image, rowAt(image, data, 0)));
    auto db2 = openImage(image);
    EXPECT_EQ(errorCodeOf([&] { db2->readTable("U"); }), hr::kCorrupt);
    EXPECT_TRUE(mentions(checkIntegrity(*db2), "two rows point at the moved row"));
}

TEST(Damage, CheckerFindsRowsWithoutTheirVariableColumnTable) {
    // Every row here counts the text column among its columns, so it was written while the
    // column existed and must carry the offset table, even with the text null. Readers get by
    // without it as long as the text is null; the checker must not.
    struct Case {
        const char* what;
        std::vector<B::Cell> cells;
        B::RowOptions options;
        const char* problem;  // nullptr: the row is sound
    };
    B::RowOptions noTable;
    noTable.noVarTable = true;
    B::RowOptions older;  // written before the text column was added: no table needed
    older.columnCount = 2;
    older.noVarTable = true;
    const std::vector<Case> cases = {
        {"no table, fixed values zero", {B::i32(0), B::f64(0), B::null()}, noTable,
         "variable column table"},
        {"no table, fixed values set", {B::i32(7), B::f64(2.5), B::null()}, noTable,
         "variable column table"},
        // The double's last bytes read as a one-entry table starting right after the fixed
        // values.
        {"no table, bytes that look like one",
         {B::i32(1), B::raw({0, 0, 14, 0, 14, 0, 1, 0}), B::null()}, noTable,
         "variable column table"},
        {"older row", {B::i32(1), B::f64(2.5)}, older, nullptr},
        {"sound row, text null", {B::i32(1), B::f64(2.5), B::null()}, {}, nullptr},
        {"sound row, text set", {B::i32(1), B::f64(2.5), B::utf16(u"x")}, {}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        B b;
        int t = b.addTable("Cards", {{"Id", ColumnType::Long},
                                     {"Amount", ColumnType::Double},
                                     {"Label", ColumnType::Text, false, 40}});
        b.addRow(t, c.cells, c.options);
        b.addRow(t, {B::i32(2), B::f64(1), B::utf16(u"ok")});
        const auto image = b.build();
        auto problems = checkIntegrity(*openImage(image));
        if (!c.problem) {
            EXPECT_EQ(problems, std::vector<std::string>{});
            continue;
        }
        ASSERT_FALSE(problems.empty());
        EXPECT_NE(problems[0].find("table 'Cards', page "), std::string::npos) << problems[0];
        EXPECT_NE(problems[0].find(c.problem), std::string::npos) << problems[0];
        // The readers keep reading it: the text is null and the row is otherwise whole.
        EXPECT_EQ(openImage(image)->readTable("Cards").rows.size(), 2u);
    }
}
