#include "page/PasswordField.h"

#include <algorithm>
#include <cstring>

#include "base/TextCodec.h"
#include "jet/Error.h"
#include "page/DatabaseHeader.h"

namespace jet {

namespace {

[[noreturn]] void refuse(const std::string& why) {
    throw Error(hr::kInvalidArg, why);
}

// Strict UTF-8 to UTF-16LE; the password goes to disk as Access reads it back.
std::vector<uint8_t> toUtf16(std::string_view text) {
    std::vector<uint16_t> units;
    if (!TextCodec::toUtf16(std::string(text), units)) refuse("The password is not valid text.");
    std::vector<uint8_t> out;
    for (uint16_t u : units) {
        if (u == 0) refuse("The password cannot contain a NUL character.");
        out.push_back(static_cast<uint8_t>(u));
        out.push_back(static_cast<uint8_t>(u >> 8));
    }
    return out;
}

double creationDate(const std::vector<uint8_t>& page) {
    double d = 0;
    std::memcpy(&d, page.data() + PasswordField::kDateOffset, sizeof d);
    return d;
}

}  // namespace

std::vector<uint8_t> PasswordField::encode(std::string_view password) {
    std::vector<uint8_t> field = toUtf16(password);
    if (field.size() > kLength)
        refuse("The password is too long: a database password has at most " +
               std::to_string(kMaxChars) + " characters.");
    field.resize(kLength, 0);
    return field;
}

void PasswordField::store(std::vector<uint8_t>& page, std::string_view password) {
    std::vector<uint8_t> field = encode(password);
    auto mask = DatabaseHeader::passwordMask(creationDate(page));
    for (size_t i = 0; i < kLength; ++i)
        page[kOffset + i] = field[i] ^ mask[i % 4];
}

std::string PasswordField::read(const std::vector<uint8_t>& page) {
    auto mask = DatabaseHeader::passwordMask(creationDate(page));
    uint8_t field[kLength];
    for (size_t i = 0; i < kLength; ++i)
        field[i] = page[kOffset + i] ^ mask[i % 4];
    size_t n = 0;
    while (n < kMaxChars && (field[2 * n] | field[2 * n + 1]) != 0)
        ++n;
    std::string out;
    TextCodec::utf16ToUtf8(field, 2 * n, out);
    return out;
}

std::vector<uint8_t> PasswordField::encodeJet3(std::string_view password, const TextCodec& text) {
    toUtf16(password);  // valid UTF-8 without NUL, refused by the same sentences as Jet 4
    std::vector<uint8_t> field;
    uint32_t bad = 0;
    if (!text.encodeCodePage(std::string(password), field, bad))
        refuse("The password holds the character " + TextCodec::characterName(bad) +
               ", which the database's code page cannot store; the password was not changed.");
    if (field.size() > kJet3Length)
        refuse("The password is too long: the password of an Access 97 database has at most " +
               std::to_string(kJet3Length) + " characters.");
    field.resize(kJet3Length, 0);
    return field;
}

void PasswordField::storeJet3(std::vector<uint8_t>& page, std::string_view password,
                              const TextCodec& text) {
    std::vector<uint8_t> field = encodeJet3(password, text);
    std::copy(field.begin(), field.end(), page.begin() + kOffset);
}

std::string PasswordField::readJet3(const std::vector<uint8_t>& page, const TextCodec& text) {
    size_t n = 0;
    while (n < kJet3Length && page[kOffset + n] != 0)
        ++n;
    return text.decodeName(page.data() + kOffset, n);
}

}  // namespace jet
