// A network serial port's far end: a loopback Telnet server with COM-port
// control that agrees to what the port asks, reports CTS and DSR on, and
// passes data both ways. It serves one connection after another on its own
// thread until destroyed, and can go away and come back on the same port.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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
    // Connections accepted so far.
    int Connections() const { return m_nConnections; }
    // The COM-port commands (in their wire form) that connection n (from 0) brought.
    std::string Commands(int n);

    // Closes the connection and stops listening: connecting is refused until ComeBack.
    void GoAway();
    void ComeBack();
    // From now on each connection is closed as soon as it is accepted.
    void HangUpAtOnce() { m_bHangUp = true; }

private:
    void Serve(int fd, int n);
    // Waits (real time, bounded) until the server's thread has seen m_bAway.
    void AwaitListening(bool listening);

    int m_fdListen = -1;  // the server's thread's own once it runs
    int m_nPort = 0;
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bAway{false};
    std::atomic<bool> m_bListening{true};
    std::atomic<bool> m_bHangUp{false};
    std::atomic<int> m_nConnections{0};
    std::mutex m_lock;
    std::string m_strToSend;  // escaped, waiting for the connection
    std::string m_strReceived;
    std::vector<std::string> m_aCommands;
    std::thread m_thread;
};
