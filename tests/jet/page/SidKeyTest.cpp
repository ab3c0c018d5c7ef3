// The SID key on figures taken from a database Access saved with the password "password":
// its page 0 fields, the key they fold into and a stored SID that must come out as 02 01.
#include <gtest/gtest.h>

#include <cstring>

#include "page/PasswordField.h"
#include "page/SidKey.h"

using namespace jet;

namespace {

std::vector<uint8_t> accessPage(const char* password) {
    std::vector<uint8_t> page(4096, 0);
    // 0x6A..0x79 of that file: the unexplained constant, the sort order, the creation date.
    const uint8_t fields[] = {0xa6, 0x11, 0x00, 0x00, 0x09, 0x04, 0x00, 0x00,
                              0x9b, 0xbf, 0x57, 0xa9, 0x15, 0xc3, 0xe5, 0x40};
    std::memcpy(page.data() + 0x6A, fields, sizeof fields);
    PasswordField::store(page, password);
    return page;
}

}  // namespace

TEST(SidKey, FoldsTheUnmaskedPasswordAndTheDateAsAccessDoes) {
    std::vector<uint8_t> page = accessPage("password");
    EXPECT_EQ(PasswordField::read(page), "password");
    // The masked field as it sits in that file (date 44568 -> mask 18 AE 00 00).
    EXPECT_EQ(page[0x42], 0x68);
    EXPECT_EQ(page[0x43], 0xae);
    EXPECT_EQ(page[0x52], 0x18);
    const uint32_t key = SidKey::fold(page);
    EXPECT_EQ(key, 0xA1779E24u);
    // MSysACEs stores the owner group as 91 AC there.
    std::vector<uint8_t> sid = {0x91, 0xAC};
    std::vector<uint8_t> k = SidKey::keystream(key, 2);
    EXPECT_EQ(sid[0] ^ k[0], 0x02);
    EXPECT_EQ(sid[1] ^ k[1], 0x01);
}

TEST(SidKey, RemaskingMovesAStoredSidFromOneKeyToAnother) {
    const std::vector<uint8_t> plain = {0x03, 0x01, 0x7f, 0x00, 0xee};
    const uint32_t a = SidKey::fold(accessPage("")), b = SidKey::fold(accessPage("x"));
    ASSERT_NE(a, b);
    std::vector<uint8_t> stored = plain, ka = SidKey::keystream(a, 5), kb = SidKey::keystream(b, 5);
    for (size_t i = 0; i < 5; ++i)
        stored[i] ^= ka[i];
    SidKey::remask(a, b, stored.data(), stored.size());
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(stored[i] ^ kb[i], plain[i]);
}

TEST(PasswordField, EmptyIsTheMaskAndTwentyUnitsIsTheLimit) {
    std::vector<uint8_t> page = accessPage("");
    for (size_t i = 0; i < 40; i += 4) {
        EXPECT_EQ(page[0x42 + i], 0x18);
        EXPECT_EQ(page[0x43 + i], 0xAE);
    }
    EXPECT_EQ(PasswordField::read(page), "");
    EXPECT_NO_THROW(PasswordField::encode(std::string(20, 'a')));
    EXPECT_THROW(PasswordField::encode(std::string(21, 'a')), std::exception);
    EXPECT_EQ(PasswordField::encode("\xc3\xa9")[0], 0xE9);  // UTF-16LE, never compressed
}
