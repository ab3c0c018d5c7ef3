#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "jet/Schema.h"
#include "tdef/StoredTableDef.h"

namespace jettest {

// Compares the listed members of x and y one by one, so that a failure names the member;
// names holds their names, separated by blanks, in the order of the list.
template <typename T, typename... Member>
void expectSameMembers(const T& x, const T& y, const std::string& where, std::string_view names,
                       Member... member) {
    std::vector<std::string_view> label;
    for (size_t from = 0; from < names.size();) {
        size_t to = names.find(' ', from);
        if (to == std::string_view::npos) to = names.size();
        if (to > from) label.push_back(names.substr(from, to - from));
        from = to + 1;
    }
    ASSERT_EQ(label.size(), sizeof...(Member)) << "names and members of " << where;
    size_t i = 0;
    auto one = [&](const auto& a, const auto& b) {
        EXPECT_EQ(a, b) << where << ": " << label[i];
        ++i;
    };
    (one(x.*member, y.*member), ...);
}

// Every stored field of two definitions.
inline void expectSameDefinition(const jet::StoredTableDef& a, const jet::StoredTableDef& b,
                                 const std::string& where) {
    using T = jet::StoredTableDef;
    expectSameMembers(a, b, where,
                      "definitionLength rowCount autoNumber autoIncrement complexAutoNumber "
                      "tableType maxColumnCount varColumnCount ownedMap freeMap",
                      &T::definitionLength, &T::rowCount, &T::autoNumber, &T::autoIncrement,
                      &T::complexAutoNumber, &T::tableType, &T::maxColumnCount, &T::varColumnCount,
                      &T::ownedMap, &T::freeMap);
    ASSERT_EQ(a.columns.size(), b.columns.size()) << where;
    for (size_t i = 0; i < a.columns.size(); ++i) {
        using C = jet::StoredColumn;
        expectSameMembers(a.columns[i], b.columns[i], where + " column " + a.columns[i].name,
                          "name type id varIndex columnNumber fixedOffset length sortOrder "
                          "precision scale flags extFlags sortId sortVersion descriptorIndex "
                          "lvOwnedMap lvFreeMap",
                          &C::name, &C::type, &C::id, &C::varIndex, &C::columnNumber,
                          &C::fixedOffset, &C::length, &C::sortOrder, &C::precision, &C::scale,
                          &C::flags, &C::extFlags, &C::sortId, &C::sortVersion, &C::descriptorIndex,
                          &C::lvOwnedMap, &C::lvFreeMap);
    }
    ASSERT_EQ(a.realIndexes.size(), b.realIndexes.size()) << where;
    for (size_t i = 0; i < a.realIndexes.size(); ++i) {
        using R = jet::StoredRealIndex;
        expectSameMembers(a.realIndexes[i], b.realIndexes[i],
                          where + " real index " + std::to_string(i),
                          "columns usageMap firstPage flags uniqueCount statsWord0 statsWord2 "
                          "unknown2A",
                          &R::columns, &R::usageMap, &R::firstPage, &R::flags, &R::uniqueCount,
                          &R::statsWord0, &R::statsWord2, &R::unknown2A);
    }
    ASSERT_EQ(a.indexes.size(), b.indexes.size()) << where;
    for (size_t i = 0; i < a.indexes.size(); ++i) {
        using X = jet::IndexDef;
        expectSameMembers(a.indexes[i], b.indexes[i], where + " index " + a.indexes[i].name,
                          "name number realIndex kind fkTableType fkRelatedIndex "
                          "fkRelatedTablePage cascadeUpdates cascadeDeletes",
                          &X::name, &X::number, &X::realIndex, &X::kind, &X::fkTableType,
                          &X::fkRelatedIndex, &X::fkRelatedTablePage, &X::cascadeUpdates,
                          &X::cascadeDeletes);
    }
}

}  // namespace jettest
