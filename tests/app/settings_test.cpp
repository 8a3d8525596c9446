// The settings store: reading rules, the start-up load, and the exact values written.
#include "app/settings.h"
#include "keyout/key_action.h"
#include "support/program_test.h"

#include <cstring>

namespace {

const char kPath[] = "Software\\Quillbay";

std::vector<BYTE> Bytes(uint32_t v, size_t n = 4) {
    std::vector<BYTE> b(n);
    std::memcpy(b.data(), &v, n < 4 ? n : 4);
    return b;
}

void PutCustomValues() {
    winsim::RegPutDword(HKEY_CURRENT_USER, kPath, "mode", 1);
    winsim::RegPutDword(HKEY_CURRENT_USER, kPath, "time", 750);
    const char* slots[] = {"key1", "key2", "key3"};
    for (int i = 0; i < 3; ++i) {
        std::string s = slots[i];
        winsim::RegPutBinary(HKEY_CURRENT_USER, kPath, s + "_alt", {BYTE(i == 0)});
        winsim::RegPutBinary(HKEY_CURRENT_USER, kPath, s + "_control", {BYTE(i == 1)});
        winsim::RegPutBinary(HKEY_CURRENT_USER, kPath, s + "_shift", {BYTE(i == 2)});
        winsim::RegPutDword(HKEY_CURRENT_USER, kPath, s + "_k", 'A' + i);
    }
}

class SettingsTest : public ProgramTest {};

TEST_F(SettingsTest, FreshProfileKeepsDefaultsAndWritesNothing) {
    LoadStartupSettings();
    EXPECT_EQ(gSettings.modeId, 2);
    CustomKeySettings zero = {};
    EXPECT_EQ(std::memcmp(&gSettings.customKeys, &zero, sizeof zero), 0);
    EXPECT_FALSE(winsim::RegKeyExists(HKEY_CURRENT_USER, kPath));
    EXPECT_TRUE(winsim::RegWrites().empty());
}

TEST_F(SettingsTest, ModeTenLoadsCustomValuesOtherModesDoNot) {
    PutCustomValues();
    winsim::RegPutDword(HKEY_CURRENT_USER, kPath, "key", 4);
    LoadStartupSettings();
    EXPECT_EQ(gSettings.modeId, 4);
    EXPECT_EQ(gSettings.customKeys.time, 0);
    EXPECT_EQ(uint32_t(gSettings.customKeys.keys[0].keyCode), 0u);

    winsim::RegPutDword(HKEY_CURRENT_USER, kPath, "key", 10);
    LoadStartupSettings();
    const CustomKeySettings& s = gSettings.customKeys;
    EXPECT_EQ(gSettings.modeId, 10);
    EXPECT_EQ(s.sendMode, 1u);
    EXPECT_EQ(s.time, 750);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(s.keys[i].alt, i == 0 ? 1 : 0) << i;
        EXPECT_EQ(s.keys[i].control, i == 1 ? 1 : 0) << i;
        EXPECT_EQ(s.keys[i].shift, i == 2 ? 1 : 0) << i;
        EXPECT_EQ(uint32_t(s.keys[i].keyCode), uint32_t('A' + i)) << i;
    }
}

TEST_F(SettingsTest, ModeValueReadingRules) {
    struct Case {
        const char* what;
        DWORD type;
        std::vector<BYTE> data;
        int32_t expected;
    } cases[] = {
        {"one-byte binary 5 over the initial 2", REG_BINARY, {5}, 5},
        {"dword 11 stays as it is", REG_DWORD, Bytes(11), 11},
        {"negative dword", REG_DWORD, Bytes(0xFFFFFFFF), -1},
        {"type not examined: 4-byte string", REG_SZ, {7, 0, 0, 0}, 7},
        {"eight bytes: read fails, 2", REG_QWORD, {9, 0, 0, 0, 0, 0, 0, 0}, 2},
    };
    for (const Case& c : cases) {
        winsim::Reset();
        gSettings = Settings{};
        gSettings.modeId = 2;
        winsim::RegPut(HKEY_CURRENT_USER, kPath, "key", c.type, c.data);
        LoadStartupSettings();
        EXPECT_EQ(gSettings.modeId, c.expected) << c.what;
    }
    // Key present, value missing: 2 whatever was there.
    winsim::Reset();
    winsim::RegPutKey(HKEY_CURRENT_USER, kPath);
    gSettings.modeId = 7;
    LoadStartupSettings();
    EXPECT_EQ(gSettings.modeId, 2);
}

TEST_F(SettingsTest, CustomValuesThatFailKeepTheirFieldAndShortOnesPatchIt) {
    CustomKeySettings& s = gSettings.customKeys;
    s.sendMode = 1;
    s.time = 1234;
    s.keys[0] = KeyStroke{1, 1, 1, 0x12345678};
    s.keys[1] = KeyStroke{1, 0, 0, 0x55};
    // Too long for their fields: after ERROR_MORE_DATA the fields must not change.
    winsim::RegPut(HKEY_CURRENT_USER, kPath, "mode", REG_QWORD, {0, 0, 0, 0, 0, 0, 0, 0});
    winsim::RegPutDword(HKEY_CURRENT_USER, kPath, "key1_alt", 0);
    winsim::RegPutBinary(HKEY_CURRENT_USER, kPath, "key1_control", {0, 0});
    // Shorter than the field: only the first bytes change.
    winsim::RegPutBinary(HKEY_CURRENT_USER, kPath, "time", {0x10});
    winsim::RegPutBinary(HKEY_CURRENT_USER, kPath, "key1_k", {0x41});
    // Empty value: nothing to copy.
    winsim::RegPutBinary(HKEY_CURRENT_USER, kPath, "key2_k", {});
    LoadCustomSettings();
    EXPECT_EQ(s.sendMode, 1u);
    EXPECT_EQ(s.keys[0].alt, 1);
    EXPECT_EQ(s.keys[0].control, 1);
    EXPECT_EQ(s.time, (1234 & ~0xFF) | 0x10);
    EXPECT_EQ(uint32_t(s.keys[0].keyCode), 0x12345641u);
    EXPECT_EQ(uint32_t(s.keys[1].keyCode), 0x55u);
    EXPECT_EQ(s.keys[0].shift, 1); // missing: unchanged
}

TEST_F(SettingsTest, ModeTenWithoutCustomValuesSendsFromZeros) {
    winsim::RegPutDword(HKEY_CURRENT_USER, kPath, "key", 10);
    LoadStartupSettings();
    EXPECT_EQ(gSettings.modeId, 10);
    EXPECT_EQ(uint32_t(gSettings.customKeys.keys[0].keyCode), 0u);
    // The zero record is an empty key list: a press sends nothing, in either send mode.
    for (uint32_t sendMode : {0u, 1u}) {
        gSettings.customKeys.sendMode = sendMode;
        RunKeyAction();
        EXPECT_EQ(Keys(), "") << sendMode;
    }
    EXPECT_EQ(SendKeyLines(), 2);
}

TEST_F(SettingsTest, SaveCustomSettingsWritesEveryValueInOrderThenSelectsModeTen) {
    gSettings.modeId = 3;
    CustomKeySettings& s = gSettings.customKeys;
    s.sendMode = 1;
    s.time = -20;
    s.keys[0] = KeyStroke{1, 0, 1, 0x141};
    s.keys[2] = KeyStroke{0, 1, 0, 'Z'};
    SaveCustomSettings();
    EXPECT_EQ(gSettings.modeId, 10);
    struct Expected {
        const char* name;
        DWORD type;
        std::vector<BYTE> data;
    } expected[] = {
        {"mode", REG_DWORD, Bytes(1)},   {"time", REG_DWORD, Bytes(uint32_t(-20))},
        {"key1_alt", REG_BINARY, {1}},   {"key1_control", REG_BINARY, {0}},
        {"key1_shift", REG_BINARY, {1}}, {"key1_k", REG_DWORD, Bytes(0x141)},
        {"key2_alt", REG_BINARY, {0}},   {"key2_control", REG_BINARY, {0}},
        {"key2_shift", REG_BINARY, {0}}, {"key2_k", REG_DWORD, Bytes(0)},
        {"key3_alt", REG_BINARY, {0}},   {"key3_control", REG_BINARY, {1}},
        {"key3_shift", REG_BINARY, {0}}, {"key3_k", REG_DWORD, Bytes('Z')},
    };
    const auto& writes = winsim::RegWrites();
    ASSERT_EQ(writes.size(), std::size(expected));
    for (size_t i = 0; i < writes.size(); ++i) {
        EXPECT_EQ(writes[i].path, kPath);
        EXPECT_EQ(writes[i].name, expected[i].name) << i;
        EXPECT_EQ(writes[i].type, expected[i].type) << expected[i].name;
        EXPECT_EQ(writes[i].data, expected[i].data) << expected[i].name;
    }
    // "key" is left to the next menu command.
    EXPECT_FALSE(winsim::RegGet(HKEY_CURRENT_USER, kPath, "key", nullptr));

    // What was saved loads back unchanged, also after a restart: the key is not volatile.
    CustomKeySettings saved = s;
    s = CustomKeySettings{};
    winsim::Reboot();
    LoadCustomSettings();
    EXPECT_EQ(std::memcmp(&saved, &s, sizeof s), 0);
}

TEST_F(SettingsTest, SaveCustomSettingsSelectsModeTenEvenWhenTheKeyCannotBeCreated) {
    winsim::FailCall("RegCreateKeyExA");
    gSettings.modeId = 2;
    SaveCustomSettings();
    EXPECT_EQ(gSettings.modeId, 10);
    EXPECT_TRUE(winsim::RegWrites().empty());
}

TEST_F(SettingsTest, SaveModeIdWritesKeyAsDword) {
    gSettings.modeId = 11; // as loaded from a hand-edited registry: written back unchanged
    SaveModeId();
    winsim::Reboot();
    winsim::RegValue v;
    ASSERT_TRUE(winsim::RegGet(HKEY_CURRENT_USER, kPath, "key", &v));
    EXPECT_EQ(v.type, DWORD(REG_DWORD));
    EXPECT_EQ(v.data, Bytes(11));
    winsim::FailCall("RegCreateKeyExA");
    gSettings.modeId = 5;
    SaveModeId(); // silently nothing
    ASSERT_TRUE(winsim::RegGet(HKEY_CURRENT_USER, kPath, "key", &v));
    EXPECT_EQ(v.data, Bytes(11));
}

} // namespace
