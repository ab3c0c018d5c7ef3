// Access 97 rows keep one-byte variable offsets plus a jump table for each 256-byte block;
// the corpus has a single row past 256 bytes, so long rows are built here, read, and written
// again.
#include <gtest/gtest.h>

#include "base/TextCodec.h"
#include "page/MemoryFile.h"
#include "page/Pager.h"
#include "row/RowCodec.h"
#include "row/RowDecoder.h"
#include "tdef/StoredTableDef.h"

using namespace jet;

namespace {

// Encodes a Jet 3 row: one fixed Long, then the given texts as variable columns.
std::vector<uint8_t> jet3Row(int32_t id, const std::vector<std::string>& texts) {
    const size_t nCols = 1 + texts.size();
    const size_t nm = (nCols + 7) / 8;
    std::vector<uint8_t> head{static_cast<uint8_t>(nCols)};
    for (int i = 0; i < 4; ++i)
        head.push_back(static_cast<uint8_t>(static_cast<uint32_t>(id) >> (8 * i)));
    std::vector<size_t> offsets;
    std::vector<uint8_t> body = head;
    for (const auto& t : texts) {
        offsets.push_back(body.size());
        body.insert(body.end(), t.begin(), t.end());
    }
    offsets.push_back(body.size());  // end of variable data
    // The row length decides how many jump bytes there are, and they add to the length.
    size_t jumps = 0;
    for (;;) {
        size_t len = body.size() + offsets.size() + jumps + 1 + nm;
        size_t need = (len - 1) / 256;
        if (need == jumps) break;
        jumps = need;
    }
    std::vector<uint8_t> row = body;
    for (size_t k = offsets.size(); k-- > 0;)
        row.push_back(static_cast<uint8_t>(offsets[k] & 0xFF));
    std::vector<uint8_t> jumpBytes(jumps, 0xFF);
    for (size_t j = 0; j < jumps; ++j)
        for (size_t k = 0; k < offsets.size(); ++k)
            if (offsets[k] >= 256 * (j + 1)) {
                jumpBytes[j] = static_cast<uint8_t>(k);
                break;
            }
    for (size_t j = jumps; j-- > 0;)
        row.push_back(jumpBytes[j]);  // jump[0] sits last
    row.push_back(static_cast<uint8_t>(texts.size()));
    std::vector<uint8_t> mask(nm, 0);
    for (size_t c = 0; c < nCols; ++c)
        mask[c / 8] |= static_cast<uint8_t>(1 << (c % 8));
    row.insert(row.end(), mask.begin(), mask.end());
    return row;
}

StoredTableDef jet3Def(size_t texts) {
    StoredTableDef def;
    def.name = "T";
    StoredColumn id;
    id.name = "Id";
    id.type = ColumnType::Long;
    id.flags = columnflag::kFixed;
    id.length = 4;
    def.columns.push_back(id);
    for (size_t i = 0; i < texts; ++i) {
        StoredColumn c;
        c.name = "T" + std::to_string(i);
        c.type = ColumnType::Text;
        c.id = static_cast<uint16_t>(1 + i);
        c.varIndex = static_cast<uint16_t>(i);
        c.length = 255;
        def.columns.push_back(c);
    }
    def.varColumnCount = static_cast<uint16_t>(texts);
    def.maxColumnCount = static_cast<uint16_t>(1 + texts);
    return def;
}

}  // namespace

TEST(Jet3Row, JumpTableAcrossBlocks) {
    Pager pager(std::make_unique<MemoryFile>(std::vector<uint8_t>(3 * 2048, 0)), Format::Jet3, 0);
    TextCodec text(Format::Jet3, 1252);
    int checked = 0;
    // Lengths chosen so that offsets and the table itself land on every side of 256 and 512,
    // including values that span a whole block and empty values at a boundary.
    std::vector<size_t> firsts;
    for (size_t a = 0; a < 700; a += 37)
        firsts.push_back(a);
    // Data ending just below 256 while the row runs past it: the jump byte is a dummy.
    for (size_t a = 236; a < 252; ++a)
        firsts.push_back(a);
    for (size_t a : firsts) {
        for (size_t b : {size_t(0), size_t(1), size_t(250), size_t(300), size_t(520)}) {
            std::vector<std::string> texts{std::string(a, 'a'), std::string(b, 'b'), "tail"};
            auto row = jet3Row(42, texts);
            if (row.size() > 2012) continue;
            StoredTableDef def = jet3Def(texts.size());
            RowDecoder decoder(pager, text, def);
            std::vector<Value> out;
            decoder.decode(ByteView(row.data(), row.size()), out);
            SCOPED_TRACE("a=" + std::to_string(a) + " b=" + std::to_string(b) +
                         " row=" + std::to_string(row.size()));
            EXPECT_EQ(out[0].as<int32_t>(), 42);
            for (size_t i = 0; i < texts.size(); ++i)
                EXPECT_EQ(out[1 + i].as<std::string>(), texts[i]);
            // The writer lays the row out byte for byte the same, and takes it apart again.
            RowCodec::Fields fields{std::vector<uint8_t>{42, 0, 0, 0}};
            for (const std::string& t : texts)
                fields.push_back(std::vector<uint8_t>(t.begin(), t.end()));
            const std::vector<bool> flags(fields.size(), false);
            EXPECT_EQ(RowCodec::build(def, fields, flags, Format::Jet3), row);
            EXPECT_EQ(RowCodec::split(def, ByteView(row.data(), row.size()), Format::Jet3),
                      fields);
            ++checked;
        }
    }
    EXPECT_GT(checked, 150);
}
