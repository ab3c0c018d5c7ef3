#include "password/PasswordField.h"

#include <cstring>

#include "DatabaseHeader.h"
#include "TextCodec.h"
#include "jet/Error.h"

namespace jet {

namespace {

[[noreturn]] void refuse(const std::string& why) {
    throw Error(hr::kInvalidArg, why);
}

// Strict UTF-8 to UTF-16LE; the password goes to disk as Access reads it back.
std::vector<uint8_t> toUtf16(std::string_view text) {
    std::vector<uint8_t> out;
    size_t i = 0;
    auto unit = [&](uint32_t u) {
        out.push_back(static_cast<uint8_t>(u));
        out.push_back(static_cast<uint8_t>(u >> 8));
    };
    while (i < text.size()) {
        uint8_t b = static_cast<uint8_t>(text[i]);
        uint32_t cp = 0;
        size_t extra = 0;
        if (b < 0x80) {
            cp = b;
        } else if ((b & 0xE0) == 0xC0) {
            cp = b & 0x1F;
            extra = 1;
        } else if ((b & 0xF0) == 0xE0) {
            cp = b & 0x0F;
            extra = 2;
        } else if ((b & 0xF8) == 0xF0) {
            cp = b & 0x07;
            extra = 3;
        } else {
            refuse("The password is not valid text.");
        }
        if (i + extra >= text.size()) refuse("The password is not valid text.");
        for (size_t k = 1; k <= extra; ++k) {
            uint8_t c = static_cast<uint8_t>(text[i + k]);
            if ((c & 0xC0) != 0x80) refuse("The password is not valid text.");
            cp = (cp << 6) | (c & 0x3F);
        }
        static constexpr uint32_t kMinForLength[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMinForLength[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            refuse("The password is not valid text.");
        if (cp == 0) refuse("The password cannot contain a NUL character.");
        if (cp >= 0x10000) {
            cp -= 0x10000;
            unit(0xD800 + (cp >> 10));
            unit(0xDC00 + (cp & 0x3FF));
        } else {
            unit(cp);
        }
        i += extra + 1;
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

}  // namespace jet
