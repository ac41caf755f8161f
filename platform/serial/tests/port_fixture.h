// A serial port under test on every backend: a simulated port, the slave of
// a fresh pseudo-terminal pair named by com3 in a temporary prefix, or a
// network serial port that com3 names, served by a fake peer on loopback.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "fake_comport_peer.h"
#include "platform/serial/win_comm.h"

enum class Backend { Sim, Pty, Net };

class PortTest : public ::testing::TestWithParam<Backend> {
protected:
    static constexpr int PORT = 3;

    void SetUp() override;
    void TearDown() override;

    // CreateFileA as the panel opens its port.
    HANDLE Open(DWORD flags = FILE_FLAG_OVERLAPPED);
    // The device sends bytes; returns once the port has them queued.
    void DeviceSends(HANDLE port, const std::string& bytes);
    // Everything the device has received so far (waits for count bytes).
    std::string DeviceReceived(size_t count);
    // The modem lines a freshly set-up port reports.
    DWORD LinesPresent() const;

    std::string m_strPrefix;
    int m_nMaster = -1;
    std::unique_ptr<CFakeComPortPeer> m_pPeer;
};

std::string BackendName(const ::testing::TestParamInfo<Backend>& info);
