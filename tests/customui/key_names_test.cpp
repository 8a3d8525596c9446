// Key names and the display text of a KeyStroke.
#include "customui/key_names.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

std::string Format(uint8_t alt, uint8_t control, uint8_t shift, uint32_t code) {
    KeyStroke key{alt, control, shift, code};
    char text[kKeyNameSize];
    FormatKeyStroke(key, text, sizeof text);
    return text;
}

TEST(KeyNamesTest, TableNamesExactlyTheListedCodesAndIsZeroFilled) {
    std::map<int, std::string> named = {
        {0x03, "NumLock"},    {0x08, "BackSpace"},
        {0x09, "Tab"},        {0x0D, "Enter"},
        {0x10, "SHIFT"},      {0x11, "CTRL"},
        {0x12, "ALT"},        {0x13, "Pause"},
        {0x14, "CapsLock"},   {0x15, "\xC7\xD1/\xBF\xB5"},
        {0x19, "CTRL"},       {0x1B, "ESC"},
        {0x20, "Space"},      {0x21, "PageUp"},
        {0x22, "PageDown"},   {0x23, "End"},
        {0x24, "Home"},       {0x25, "Left"},
        {0x26, "Up"},         {0x27, "Right"},
        {0x28, "Down"},       {0x2D, "Insert"},
        {0x2E, "Delete"},     {0x5B, "LWindow"},
        {0x5C, "RWindow"},    {0x5D, "WMenu"},
        {0x6A, "*"},          {0x6B, "+"},
        {0x6D, "-"},          {0x6E, "."},
        {0x6F, "/"},          {0x90, "NumLock"},
        {0x91, "ScrollLock"}, {0xBA, ";"},
        {0xBB, "="},          {0xBC, ","},
        {0xBD, "-"},          {0xBE, "."},
        {0xBF, "/"},          {0xC0, "`"},
        {0xDB, "["},          {0xDC, "\\"},
        {0xDD, "]"},          {0xDE, "'"},
    };
    for (int i = 0; i < 10; ++i) {
        named[0x30 + i] = std::string(1, char('0' + i));
        named[0x60 + i] = std::string(1, char('0' + i));
    }
    for (int i = 0; i < 26; ++i)
        named[0x41 + i] = std::string(1, char('A' + i));
    for (int i = 0; i < 12; ++i)
        named[0x70 + i] = "F" + std::to_string(i + 1);
    ASSERT_EQ(named.size(), 102u);
    for (int code = 0; code < 256; ++code) {
        auto it = named.find(code);
        EXPECT_EQ(std::string(KeyNameTable[code]), it == named.end() ? "" : it->second)
            << "code " << code;
        size_t len = std::string(KeyNameTable[code]).size();
        for (size_t i = len; i < kKeyNameSize; ++i)
            ASSERT_EQ(KeyNameTable[code][i], 0) << "code " << code << " byte " << i;
    }
}

TEST(KeyNamesTest, ModifiersAreUnnamedAndLargeCodesUseTheirLowByte) {
    for (uint32_t code : {0x10u, 0x11u, 0x12u, 0x19u, 0x110u})
        EXPECT_STREQ(KeyName(code), "") << code;
    EXPECT_STREQ(KeyName(0x141), "A");
    EXPECT_STREQ(KeyName(0xFFFFFF74u), "F5");
    EXPECT_STREQ(KeyName(0x7C), ""); // F13 has no name
}

TEST(KeyNamesTest, FormatPutsPrefixesInOrderForAnyNonZeroFlag) {
    EXPECT_EQ(Format(0, 0, 0, 0), "");
    EXPECT_EQ(Format(0, 1, 0, 0x43), "CTRL + C");
    EXPECT_EQ(Format(1, 1, 1, 0x74), "ALT + CTRL + SHIFT + F5");
    EXPECT_EQ(Format(0, 0, 1, 0x10), "SHIFT + ");
    EXPECT_EQ(Format(0xFF, 0, 0, 'A'), "ALT + A");
    EXPECT_EQ(Format(0, 7, 0, 0x7C), "CTRL + ");
    EXPECT_EQ(Format(0, 0, 0, 0x165), "5"); // the key actually sent: keypad 5
    EXPECT_EQ(Format(1, 1, 1, 0x91), "ALT + CTRL + SHIFT + ScrollLock");
    char small[8];
    FormatKeyStroke(KeyStroke{1, 1, 1, 0x91}, small, sizeof small);
    EXPECT_STREQ(small, "ALT + C"); // cut, never past the buffer
}

} // namespace
