// A simulated cutter on a simulated serial port: what the program writes to
// the port reaches the cutter's parser and model, and each reply comes back
// through the port once the line could have carried the command and the
// reply at 9600 baud (10 bits a byte), plus an extra delay. Everything runs on
// the platform clock; the replies are sent by a platform thread of its own.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/serial/sim_serial.h"
#include "tools/cutter_sim/cutter_model.h"

namespace cutter_sim {

// Milliseconds the line needs for nBytes at 9600 baud, rounded up.
platform::sched::Millis WireTime(std::size_t nBytes);

// A reply as it reached the port: bDelivered is false when the port had been
// closed meanwhile and dropped it.
using ReplyObserver = std::function<void(int nPort, const std::string& strReply, bool bDelivered)>;

class CSimCutter {
public:
    // Replies waiting for the line beyond this are not sent (the cutter's output buffer is full).
    static constexpr std::size_t MAX_PENDING_REPLIES = 64;

    CSimCutter();
    ~CSimCutter();  // detaches
    CSimCutter(const CSimCutter&) = delete;
    CSimCutter& operator=(const CSimCutter&) = delete;

    // Puts the cutter on COMn, switched on: the port is present with CTS and
    // DSR up. chained gets every port event first (the caller's own
    // observer). Returns false when already attached or the reply thread cannot start.
    bool Attach(int nPort, platform::sim_serial::SimObserver chained = {});
    // Stops answering and hands the port back to the chained observer; replies not yet sent are lost.
    void Detach();

    // Off drops the modem lines; an off cutter hears nothing, and loses what it was about to send.
    void SetOn(bool bOn);
    // A silent cutter still carries out every command but sends no reply.
    void SetSilent(bool bSilent);
    void SetExtraDelay(platform::sched::Millis nMs);
    void SetReplyObserver(ReplyObserver observer);

    // CCutterModel::Configure on the live model.
    bool Configure(const std::string& strKey, const std::string& strValue);
    // A copy of the model as it is now.
    CCutterModel Model() const;

    struct LinkState;  // shared with the port observer and the reply thread

private:
    std::shared_ptr<LinkState> m_pLink;
};

}  // namespace cutter_sim
