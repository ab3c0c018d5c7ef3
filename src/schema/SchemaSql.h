#pragma once

#include <QString>

// The data-definition statements the schema commands run. Table and column names always go in
// brackets, so that a name holding blanks or punctuation is one name to the engine; passwords
// go in brackets too, any "]" doubled, and an empty password is the word NULL.
namespace schema {

// "[name]", a "]" inside doubled.
QString Bracketed(const QString& name);

QString AddColumn(const QString& table, const QString& column, const QString& type);
// The same with the NULL clause: the column takes empty values.
QString AddNullableColumn(const QString& table, const QString& column, const QString& type);
QString DropColumn(const QString& table, const QString& column);
QString DropPrimaryKey(const QString& table);
QString AddPrimaryKey(const QString& table, const QString& column);
QString SetPassword(const QString& newPassword, const QString& oldPassword);

// The print-information columns, in the order they are added.
struct PrintInfoColumn {
    const char* name;
    const char* type;
};
inline constexpr PrintInfoColumn kPrintInfoColumns[] = {
    {"Vexa_Print", "Bit"},
    {"Vexa_Print_Count", "int"},
    {"Vexa_Print_Time", "DATETIME"},
    {"Vexa_Total_Print", "int"},
    {"Vexa_ID1_Rect", "varchar(255)"},
    {"Vexa_ID2_Rect", "varchar(255)"},
    {"Vexa_ID1_Image", "IMAGE"},
    {"Vexa_ID2_Image", "IMAGE"},
};

}  // namespace schema
