// The termios backend's own duties: naming devices through the prefix and
// telling a person, in one line, why a port would not open.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/base/diagnosis.h"
#include "platform/base/prefix.h"
#include "platform/base/scheduler.h"
#include "platform/serial/comm_port.h"
#include "platform/serial/posix_access.h"
#include "platform/serial/posix_line.h"
#include "platform/serial/posix_serial.h"
#include "platform/serial/win_comm.h"
#include "platform/serial/win_ports.h"

namespace {

namespace fs = std::filesystem;
namespace posix = platform::posix_serial;

class PosixPorts : public ::testing::Test {
protected:
    void SetUp() override {
        platform::clock::UseVirtual();
        char folder[] = "/tmp/kestra-posix-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        m_strRoot = folder;
        platform::SetPrefixRoot(m_strRoot + "/prefix");
        fs::create_directories(m_strRoot + "/dev");
        fs::create_directories(m_strRoot + "/sys");
        posix::test::SetDeviceRoots(m_strRoot + "/dev", m_strRoot + "/sys");
        posix::Install();
    }
    void TearDown() override {
        posix::Uninstall();
        posix::test::SetDeviceRoots("/dev", "/sys/class/tty");
        fs::remove_all(m_strRoot);
        platform::clock::UseReal();
    }
    std::string Dos(const std::string& entry) const { return m_strRoot + "/prefix/dosdevices/" + entry; }
    std::string Dev(const std::string& name) const { return m_strRoot + "/dev/" + name; }
    void MakeDevice(const std::string& name) { std::ofstream(Dev(name)).put('\n'); }
    static std::vector<std::string> Enumerated() {
        DWORD needed = 0, returned = 0;
        EnumPortsA(nullptr, 1, nullptr, 0, &needed, &returned);
        std::vector<BYTE> buffer(needed);
        std::vector<std::string> names;
        if (!EnumPortsA(nullptr, 1, buffer.data(), needed, &needed, &returned)) return names;
        for (DWORD i = 0; i < returned; ++i) names.push_back(reinterpret_cast<PORT_INFO_1*>(buffer.data())[i].pName);
        return names;
    }
    static HANDLE Open(const char* name) {
        return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                           nullptr);
    }

    std::string m_strRoot;
};

TEST_F(PosixPorts, WithoutLinksTheDevicesFoundAreNumberedInAStableOrder) {
    for (const char* name : {"ttyUSB1", "ttyS10", "ttyACM0", "ttyS1", "ttyUSB0", "ttyS0", "ttyS2", "ttyX0", "tty5"})
        MakeDevice(name);
    fs::create_directories(m_strRoot + "/sys/ttyS2");
    std::ofstream(m_strRoot + "/sys/ttyS2/type") << "0\n";  // a port node with no UART behind it

    std::vector<std::string> expected = {"COM1:", "COM2:", "COM3:", "COM4:", "COM5:", "COM6:"};
    EXPECT_EQ(Enumerated(), expected);
    const char* order[] = {"ttyS0", "ttyS1", "ttyS10", "ttyUSB0", "ttyUSB1", "ttyACM0"};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(fs::read_symlink(Dos("com" + std::to_string(i + 1))), Dev(order[i])) << order[i];

    // Links that exist are the user's choice: nothing is added, a dead one is not listed.
    fs::remove(Dos("com2"));
    fs::remove(Dev("ttyS10"));
    EXPECT_EQ(posix::MapDevices(), 0);
    EXPECT_EQ(Enumerated(), (std::vector<std::string>{"COM1:", "COM4:", "COM5:", "COM6:"}));
}

TEST_F(PosixPorts, AFailedOpenSaysWhyInOneLine) {
    MakeDevice("ttyUSB0");
    fs::create_symlink(Dev("ttyUSB0"), Dos("com1"));
    fs::create_symlink(Dev("ttyUSB9"), Dos("com2"));
    MakeDevice("notes.txt");
    fs::create_symlink(Dev("notes.txt"), Dos("com3"));
    struct Case {
        const char* szName;
        int nErrno;  // injected as the open's outcome; 0 for none
        DWORD dwError;
        std::vector<std::string> words;
    } cases[] = {
        {"COM7", 0, ERROR_FILE_NOT_FOUND, {"COM7: no such device", Dos("com7"), "does not exist", "ln -s"}},
        {"COM2", 0, ERROR_FILE_NOT_FOUND, {"COM2: no such device", Dos("com2"), Dev("ttyUSB9")}},
        {"COM1", EACCES, ERROR_ACCESS_DENIED, {"COM1: permission denied on " + Dev("ttyUSB0") + ": "}},
        {"COM1", EBUSY, ERROR_ACCESS_DENIED, {"COM1:", Dev("ttyUSB0"), "busy", "another program"}},
        {"COM1", ENODEV, ERROR_FILE_NOT_FOUND, {"COM1: no such device", Dev("ttyUSB0")}},
        {"COM3", 0, ERROR_FILE_NOT_FOUND, {"COM3:", Dev("notes.txt"), "not a serial device"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.szName) + " errno " + std::to_string(c.nErrno));
        if (c.nErrno) posix::test::FailNextOpen(c.nErrno);
        testing::internal::CaptureStderr();
        HANDLE port = Open(c.szName);
        std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(port, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), c.dwError);
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        for (const auto& word : c.words) EXPECT_NE(said.find(word), std::string::npos) << word << " in " << said;
        EXPECT_EQ(platform::diagnosis::Take() + "\n", said);  // the same line for the next message box
    }
}

TEST(AccessAdvice, JoiningAGroupIsAdvisedOnlyWhereItHelps) {
    struct Case {
        posix::DeviceAccess access;
        bool bJoin;  // the advice is to join the device's group
        std::vector<std::string> words;
    } cases[] = {
        {{"root", "dialout", true, false, 0660}, true, {"add your user to the dialout group", "-aG dialout $USER"}},
        {{"root", "uucp", true, false, 0660}, true, {"uucp group", "usermod -aG uucp"}},
        {{"root", "root", true, true, 0600}, false, {"only root may open it", "mode 600", "will not help", "udev"}},
        {{"root", "dialout", true, false, 0640}, false, {"only root may open it", "group dialout", "mode 640"}},
        {{"root", "root", true, true, 0660}, false, {"only root may open it"}},  // the root group is no group to join
        {{"ann", "ann", false, false, 0600}, false, {"only its owner ann may open it"}},
        {{"root", "dialout", true, false, 0666}, false, {"lets everyone read and write it", "security module"}},
    };
    for (const Case& c : cases) {
        std::string advice = posix::AccessAdvice(c.access);
        for (const auto& word : c.words) EXPECT_NE(advice.find(word), std::string::npos) << word << " in " << advice;
        EXPECT_EQ(advice.find("usermod") != std::string::npos, c.bJoin) << advice;
    }
}

// Frames a pseudo-terminal cannot hold, checked on the termios block itself.
TEST(TermiosLine, FramesAndFlowMapBothWays) {
    struct Case {
        DWORD dwBaud;
        BYTE nSize, nParity, nStop;
        bool bCts, bXon;
        tcflag_t cflagSet, cflagClear;
    } cases[] = {
        {4800, 7, EVENPARITY, ONESTOPBIT, false, false, CS7 | PARENB, PARODD | CMSPAR | CSTOPB | CRTSCTS},
        {1200, 5, MARKPARITY, ONE5STOPBITS, false, false, CS5 | PARENB | CMSPAR | PARODD | CSTOPB, CRTSCTS},
        {2400, 6, ODDPARITY, TWOSTOPBITS, true, false, CS6 | PARENB | PARODD | CSTOPB | CRTSCTS, CMSPAR},
        {57600, 8, SPACEPARITY, ONESTOPBIT, false, true, CS8 | PARENB | CMSPAR, PARODD | CSTOPB | CRTSCTS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.dwBaud) + " " + std::to_string(c.nSize));
        DCB dcb = platform::serial::DefaultDcb();
        dcb.BaudRate = c.dwBaud;
        dcb.ByteSize = c.nSize;
        dcb.Parity = c.nParity;
        dcb.StopBits = c.nStop;
        dcb.fOutxCtsFlow = c.bCts;
        dcb.fRtsControl = c.bCts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
        dcb.fOutX = dcb.fInX = c.bXon;
        termios tio{};
        ASSERT_TRUE(posix::DcbToTermios(dcb, &tio));
        EXPECT_EQ(tio.c_cflag & c.cflagSet, c.cflagSet);
        EXPECT_EQ(tio.c_cflag & c.cflagClear, 0u);
        EXPECT_EQ((tio.c_iflag & (IXON | IXOFF)) != 0, c.bXon);
        DCB back = posix::TermiosToDcb(tio, platform::serial::DefaultDcb());
        EXPECT_EQ(back.BaudRate, c.dwBaud);
        EXPECT_EQ(back.ByteSize, c.nSize);
        EXPECT_EQ(back.Parity, c.nParity);
        EXPECT_EQ(back.StopBits, c.nStop);
        EXPECT_EQ(back.fOutxCtsFlow, c.bCts);
        EXPECT_EQ(back.fRtsControl, dcb.fRtsControl);
        EXPECT_EQ(back.fOutX, c.bXon);
    }
    DCB odd = platform::serial::DefaultDcb();
    odd.BaudRate = 12345;  // no termios constant: refused rather than silently rounded
    termios tio{};
    EXPECT_FALSE(posix::DcbToTermios(odd, &tio));
}

}  // namespace
