#pragma once

#include <cstdint>

namespace tessor::provider {

// Field type codes, numbered as the application's callers test them (7 is a date, 202 text...).
enum class DataType : int {
    Empty = 0,
    SmallInt = 2,  // integer
    Integer = 3,   // long integer
    Single = 4,
    Double = 5,
    Currency = 6,
    Date = 7,
    Boolean = 11,          // yes/no
    UnsignedTinyInt = 17,  // byte
    Guid = 72,
    Numeric = 131,       // decimal
    VarWChar = 202,      // text
    LongVarWChar = 203,  // memo
    VarBinary = 204,     // binary
    LongVarBinary = 205  // OLE object
};

}  // namespace tessor::provider
