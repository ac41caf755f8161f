// Port names and port enumeration, independent of any backend.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/serial/comm_port.h"
#include "platform/serial/win_ports.h"

namespace {

using platform::serial::ParsePortName;

TEST(PortNames, OnlyCommDeviceNamesAreOwned) {
    struct Case {
        const char* szName;
        unsigned nPort;
    } cases[] = {
        {"COM1", 1},     {"com12", 12},   {"CoM255", 255}, {"\\\\.\\COM3", 3}, {"\\\\.\\com200", 200},
        {"COM4:", 4},    {"COM256", 0},   {"COM0", 0},     {"COM01", 0},       {"COM", 0},
        {"COM1x", 0},    {"LPT1", 0},     {"\\\\.\\COM3:", 0}, {"C:\\COM1", 0}, {"", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(ParsePortName(c.szName), c.nPort) << c.szName;
    EXPECT_EQ(ParsePortName(nullptr), 0u);
}

class EnumPorts : public ::testing::Test {
protected:
    void SetUp() override {
        platform::serial::SetPortLister([] { return std::vector<std::string>{"COM1:", "COM12:"}; });
    }
    void TearDown() override { platform::serial::SetPortLister(nullptr); }
};

TEST_F(EnumPorts, TwoCallsSizeThenFill) {
    DWORD needed = 0, returned = 7;
    EXPECT_FALSE(EnumPortsA(nullptr, 1, nullptr, 0, &needed, &returned));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(needed, 2 * sizeof(PORT_INFO_1) + sizeof "COM1:" + sizeof "COM12:");
    EXPECT_EQ(returned, 0u);

    // An odd start shows the entries are stored without needing alignment.
    std::vector<BYTE> storage(needed + 1);
    LPBYTE buffer = storage.data() + 1;
    ASSERT_TRUE(EnumPortsA(nullptr, 1, buffer, needed, &needed, &returned));
    ASSERT_EQ(returned, 2u);
    PORT_INFO_1 entries[2];
    std::memcpy(entries, buffer, sizeof entries);
    EXPECT_STREQ(entries[0].pName, "COM1:");
    EXPECT_STREQ(entries[1].pName, "COM12:");
    for (const PORT_INFO_1& e : entries) {  // the strings live in the caller's buffer, after the array
        EXPECT_GE(reinterpret_cast<LPBYTE>(e.pName), buffer + sizeof entries);
        EXPECT_LT(reinterpret_cast<LPBYTE>(e.pName), buffer + needed);
    }
}

TEST_F(EnumPorts, RefusesWhatItCannotServe) {
    DWORD needed = 0, returned = 0;
    DWORD full = 2 * sizeof(PORT_INFO_1) + sizeof "COM1:" + sizeof "COM12:";
    std::vector<BYTE> buffer(full);
    struct Case {
        const char* szWhat;
        LPSTR name;
        DWORD level;
        LPBYTE ports;
        DWORD size;
        LPDWORD needed;
        DWORD dwError;
    } cases[] = {
        {"one byte short", nullptr, 1, buffer.data(), full - 1, &needed, ERROR_INSUFFICIENT_BUFFER},
        {"level 2", nullptr, 2, buffer.data(), full, &needed, ERROR_INVALID_LEVEL},
        {"another machine", const_cast<LPSTR>("\\\\server"), 1, buffer.data(), full, &needed, ERROR_INVALID_NAME},
        {"no buffer but a size", nullptr, 1, nullptr, full, &needed, ERROR_INVALID_PARAMETER},
        {"no needed pointer", nullptr, 1, buffer.data(), full, nullptr, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.szWhat);
        SetLastError(0);
        EXPECT_FALSE(EnumPortsA(c.name, c.level, c.ports, c.size, c.needed, &returned));
        EXPECT_EQ(GetLastError(), c.dwError);
        EXPECT_EQ(returned, 0u);
    }
}

TEST_F(EnumPorts, NoBackendMeansNoPorts) {
    platform::serial::SetPortLister(nullptr);
    DWORD needed = 5, returned = 5;
    EXPECT_TRUE(EnumPortsA(nullptr, 1, nullptr, 0, &needed, &returned));
    EXPECT_EQ(needed, 0u);
    EXPECT_EQ(returned, 0u);
}

}  // namespace
