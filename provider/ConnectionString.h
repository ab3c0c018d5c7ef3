#pragma once

#include <string>
#include <string_view>

namespace tessor::provider {

// A parsed connection text such as
//   "Provider=Microsoft.Jet.OLEDB.4.0;Data Source = /x/y.mdb;Jet OLEDB:Database Password=pw"
// Pairs are separated by ";"; blanks around keys, "=" and values do not count; keys ignore
// case. A value may be put in double or single quotes to hold ";" or outer blanks (a doubled
// quote inside stands for one). Other keys that connection texts commonly carry ("User ID",
// "Mode", "Persist Security Info", ...) are accepted and ignored.
class ConnectionString {
public:
    // Throws ProviderError for a text that is not a connection text for this provider.
    static ConnectionString parse(std::string_view text);

    // The connection text for a database file, with the password clause when a password is
    // given (an empty one included). Values go through quote(), so parse() gives them back whole.
    // leadingBlank puts a blank after "Provider=", as the open command writes it.
    static std::string format(std::string_view dataSource, const std::string* password = nullptr,
                              bool leadingBlank = false);
    // A value as it stands, or in double quotes (inner ones doubled) when it holds what would
    // end or change it: ";", a quote at its start, blanks at either end.
    static std::string quote(std::string_view value);

    const std::string& provider() const { return m_provider; }
    const std::string& dataSource() const { return m_dataSource; }
    const std::string& password() const { return m_password; }
    bool hasPassword() const { return m_hasPassword; }

private:
    std::string m_provider;
    std::string m_dataSource;
    std::string m_password;
    bool m_hasPassword = false;
};

}  // namespace tessor::provider
