#pragma once

#include <gtest/gtest.h>

#include <string>

#include "jet/Schema.h"

namespace jettest {

// Every stored field of two definitions, compared one by one so a failure names the field.
inline void expectSameDefinition(const jet::TableDef& a, const jet::TableDef& b,
                                 const std::string& where) {
    EXPECT_EQ(a.definitionLength, b.definitionLength) << where;
    EXPECT_EQ(a.rowCount, b.rowCount) << where;
    EXPECT_EQ(a.autoNumber, b.autoNumber) << where;
    EXPECT_EQ(a.autoIncrement, b.autoIncrement) << where;
    EXPECT_EQ(a.complexAutoNumber, b.complexAutoNumber) << where;
    EXPECT_EQ(a.tableType, b.tableType) << where;
    EXPECT_EQ(a.maxColumnCount, b.maxColumnCount) << where;
    EXPECT_EQ(a.varColumnCount, b.varColumnCount) << where;
    EXPECT_EQ(a.ownedMap, b.ownedMap) << where;
    EXPECT_EQ(a.freeMap, b.freeMap) << where;
    ASSERT_EQ(a.columns.size(), b.columns.size()) << where;
    for (size_t i = 0; i < a.columns.size(); ++i) {
        const jet::ColumnDef &x = a.columns[i], &y = b.columns[i];
        const std::string w = where + " column " + x.name;
        EXPECT_EQ(x.name, y.name) << w;
        EXPECT_EQ(x.type, y.type) << w;
        EXPECT_EQ(x.id, y.id) << w;
        EXPECT_EQ(x.varIndex, y.varIndex) << w;
        EXPECT_EQ(x.columnNumber, y.columnNumber) << w;
        EXPECT_EQ(x.fixedOffset, y.fixedOffset) << w;
        EXPECT_EQ(x.length, y.length) << w;
        EXPECT_EQ(x.sortOrder, y.sortOrder) << w;
        EXPECT_EQ(x.precision, y.precision) << w;
        EXPECT_EQ(x.scale, y.scale) << w;
        EXPECT_EQ(x.flags, y.flags) << w;
        EXPECT_EQ(x.extFlags, y.extFlags) << w;
        EXPECT_EQ(x.sortId, y.sortId) << w;
        EXPECT_EQ(x.sortVersion, y.sortVersion) << w;
        EXPECT_EQ(x.descriptorIndex, y.descriptorIndex) << w;
        EXPECT_EQ(x.lvOwnedMap, y.lvOwnedMap) << w;
        EXPECT_EQ(x.lvFreeMap, y.lvFreeMap) << w;
    }
    ASSERT_EQ(a.realIndexes.size(), b.realIndexes.size()) << where;
    for (size_t i = 0; i < a.realIndexes.size(); ++i) {
        const jet::RealIndexDef &x = a.realIndexes[i], &y = b.realIndexes[i];
        const std::string w = where + " real index " + std::to_string(i);
        EXPECT_EQ(x.columns, y.columns) << w;
        EXPECT_EQ(x.usageMap, y.usageMap) << w;
        EXPECT_EQ(x.firstPage, y.firstPage) << w;
        EXPECT_EQ(x.flags, y.flags) << w;
        EXPECT_EQ(x.uniqueCount, y.uniqueCount) << w;
        EXPECT_EQ(x.statsWord0, y.statsWord0) << w;
        EXPECT_EQ(x.statsWord2, y.statsWord2) << w;
        EXPECT_EQ(x.unknown2A, y.unknown2A) << w;
    }
    ASSERT_EQ(a.indexes.size(), b.indexes.size()) << where;
    for (size_t i = 0; i < a.indexes.size(); ++i) {
        const jet::IndexDef &x = a.indexes[i], &y = b.indexes[i];
        const std::string w = where + " index " + x.name;
        EXPECT_EQ(x.name, y.name) << w;
        EXPECT_EQ(x.number, y.number) << w;
        EXPECT_EQ(x.realIndex, y.realIndex) << w;
        EXPECT_EQ(x.kind, y.kind) << w;
        EXPECT_EQ(x.fkTableType, y.fkTableType) << w;
        EXPECT_EQ(x.fkRelatedIndex, y.fkRelatedIndex) << w;
        EXPECT_EQ(x.fkRelatedTablePage, y.fkRelatedTablePage) << w;
        EXPECT_EQ(x.cascadeUpdates, y.cascadeUpdates) << w;
        EXPECT_EQ(x.cascadeDeletes, y.cascadeDeletes) << w;
    }
}

}  // namespace jettest
