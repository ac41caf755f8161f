// A network serial port's far end for the conformance table: a loopback
// Telnet server with COM-port control that agrees to what the port asks,
// reports CTS and DSR on, and passes data both ways. It serves one
// connection after another on its own thread until destroyed.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

class CFakeComPortPeer {
public:
    static constexpr unsigned char LINES = 0x30;  // CTS and DSR, as NOTIFY-MODEMSTATE carries them

    CFakeComPortPeer();
    ~CFakeComPortPeer();

    int Port() const { return m_nPort; }
    // Sends bytes as the device would (to the connection now, or the next one).
    void Send(const std::string& bytes);
    // Every data byte the port has written so far.
    std::string Received();

private:
    void Serve(int fd);

    int m_fdListen = -1;
    int m_nPort = 0;
    std::atomic<bool> m_bStop{false};
    std::mutex m_lock;
    std::string m_strToSend;  // escaped, waiting for the connection
    std::string m_strReceived;
    std::thread m_thread;
};
