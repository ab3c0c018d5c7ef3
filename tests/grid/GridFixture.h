#pragma once

#include "provider/Recordset.h"
#include "provider/RowStore.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <string>
#include <vector>

namespace gridtest {

using tessor::provider::ColumnInfo;
using tessor::provider::DataType;
using tessor::provider::Recordset;
using tessor::provider::RowStore;
using tessor::provider::Variant;

// A card table built through the same row store a table open fills:
//   ID (long) = row + 1, Name "card <n>" (every third one upper case), Memo (null on even rows,
//   a two-line text on odd ones), Price (currency n * 1.25), Photo (OLE, 600 bytes on row 1),
// plus `extraColumns` text columns "X<i>" holding "x<i>-<row>".
inline std::unique_ptr<RowStore> cardStore(int rows, int extraColumns = 0) {
    std::vector<ColumnInfo> cols;
    cols.push_back({"ID", DataType::Integer, 4});
    cols.push_back({"Name", DataType::VarWChar, 50});
    cols.push_back({"Memo", DataType::LongVarWChar, 0});
    cols.push_back({"Price", DataType::Currency, 8});
    cols.push_back({"Photo", DataType::LongVarBinary, 0});
    for (int i = 0; i < extraColumns; ++i)
        cols.push_back({"X" + std::to_string(i), DataType::VarWChar, 50});
    auto store = std::make_unique<RowStore>(cols);
    store->reserve(static_cast<size_t>(rows));
    std::vector<Variant> values(cols.size());
    for (int r = 0; r < rows; ++r) {
        const int n = r + 1;
        values[0] = Variant(static_cast<int32_t>(n));
        std::string name = "card " + std::to_string(n);
        if (n % 3 == 0) name = "CARD " + std::to_string(n);
        values[1] = Variant(name);
        values[2] = r % 2 == 0 ? Variant::null()
                               : Variant("first line " + std::to_string(n) + "\r\nsecond line");
        values[3] = Variant(tessor::provider::Currency{int64_t(n) * 12500});
        values[4] = r == 1 ? Variant(tessor::provider::Bytes(600, 0xAB)) : Variant::null();
        for (int i = 0; i < extraColumns; ++i)
            values[5 + i] = Variant("x" + std::to_string(i) + "-" + std::to_string(r));
        store->appendRow(values);
    }
    return store;
}

inline std::shared_ptr<Recordset> cards(int rows, int extraColumns = 0) {
    auto rs = Recordset::create();
    rs->setCursorLocation(tessor::provider::ado::kUseClient);
    rs->openSnapshot(cardStore(rows, extraColumns));
    return rs;
}

// The real databases, when this checkout has them beside it.
inline QString corpusDir() {
    const QByteArray shared = qgetenv("TESSOR_SHARED_DIR");
    const QString dir =
        (shared.isEmpty() ? QStringLiteral("/work/shared") : QString::fromLocal8Bit(shared)) +
        QStringLiteral("/testdata/mdb");
    return QDir(dir).exists() ? dir : QString();
}

// Copies a corpus file into `dir` under `name` (its own name when empty), writable; empty when
// the corpus or the file is missing.
inline QString copyCorpusFile(const QString& file, const QString& dir, const QString& name = {}) {
    const QString from = corpusDir();
    if (from.isEmpty() || !QFile::exists(from + QLatin1Char('/') + file)) return QString();
    const QString to = dir + QLatin1Char('/') + (name.isEmpty() ? file : name);
    QFile::remove(to);
    if (!QFile::copy(from + QLatin1Char('/') + file, to)) return QString();
    QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner);
    return to;
}

}  // namespace gridtest
