#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/Value.h"

namespace jet::sql {

// A value while an expression is worked out. Numbers are doubles; a number read from a literal
// or from an exact field (integers, Currency, Decimal) also keeps its exact decimal text, so that
// storing it into a Currency or Decimal field loses nothing.
struct Datum {
    enum class Kind : uint8_t { Null, Bool, Number, Text, Date, Bytes, Guid };
    Kind kind = Kind::Null;
    bool flag = false;
    double number = 0;  // Number; Date: days as stored
    std::string text;   // Text; Number: exact decimal text, or empty
    std::vector<uint8_t> bytes;
    jet::Guid guid;

    static Datum null() { return {}; }
    static Datum boolean(bool b) {
        Datum d;
        d.kind = Kind::Bool;
        d.flag = b;
        return d;
    }
    static Datum num(double v, std::string exact = {}) {
        Datum d;
        d.kind = Kind::Number;
        d.number = v;
        d.text = std::move(exact);
        return d;
    }
    static Datum str(std::string s) {
        Datum d;
        d.kind = Kind::Text;
        d.text = std::move(s);
        return d;
    }
    static Datum date(double days) {
        Datum d;
        d.kind = Kind::Date;
        d.number = days;
        return d;
    }
    bool isNull() const { return kind == Kind::Null; }
};

}  // namespace jet::sql
