#include "schema/SchemaSql.h"

namespace schema {

QString Bracketed(const QString& name) {
    QString inner = name;
    inner.replace(QLatin1Char(']'), QStringLiteral("]]"));
    return QLatin1Char('[') + inner + QLatin1Char(']');
}

QString AddColumn(const QString& table, const QString& column, const QString& type) {
    return QStringLiteral("ALTER TABLE %1 ADD %2 %3").arg(Bracketed(table), Bracketed(column), type);
}

QString AddNullableColumn(const QString& table, const QString& column, const QString& type) {
    return AddColumn(table, column, type) + QStringLiteral(" NULL");
}

QString DropColumn(const QString& table, const QString& column) {
    return QStringLiteral("ALTER TABLE %1 DROP %2").arg(Bracketed(table), Bracketed(column));
}

QString DropPrimaryKey(const QString& table) {
    return QStringLiteral("ALTER TABLE %1 DROP CONSTRAINT PrimaryKey").arg(Bracketed(table));
}

QString AddPrimaryKey(const QString& table, const QString& column) {
    return QStringLiteral("ALTER TABLE %1 ADD CONSTRAINT PrimaryKey PRIMARY KEY (%2)")
        .arg(Bracketed(table), Bracketed(column));
}

QString SetPassword(const QString& newPassword, const QString& oldPassword) {
    // An empty new password in brackets clears it; an empty old one is the word.
    return QStringLiteral("Alter Database Password %1 %2")
        .arg(Bracketed(newPassword),
             oldPassword.isEmpty() ? QStringLiteral("NULL") : Bracketed(oldPassword));
}

}  // namespace schema
