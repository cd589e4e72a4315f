#pragma once
// One ISO-on-TCP association carrying MMS: TCP socket, TPKT framing, COTP class 0 with
// segmentation and reassembly, session, presentation and ACSE, for both the initiator
// (client) and the responder (server) role. MMS PDUs go in and out as plain byte strings.
//
// Threads: one thread receives (receive()); any thread may send (send calls are serialised by
// a mutex); shutdown() may be called from any thread and makes a blocked receive() return.
#include "stack/src/iso/AssociationParams.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace stack {
namespace iso {

enum class IsoStatus {
    Ok,
    Timeout,    // nothing (complete) arrived in time
    Closed,     // the peer closed, aborted or disconnected
    Rejected,   // the peer refused the connection or association
    Error,      // socket failure, or malformed or oversized input
    Unresolved, // the host name could not be resolved
};

const char* isoStatusText(IsoStatus status);

// A receiver blocked in recv() looks at its deadline this often.
constexpr int kReceiveSliceMs = 50;

// Upper bounds for what a peer can make us buffer.
constexpr size_t kMaxTsduSize = 1 << 20; // reassembled session data unit

class IsoConnection {
public:
    IsoConnection() = default;
    ~IsoConnection();
    IsoConnection(const IsoConnection&) = delete;
    IsoConnection& operator=(const IsoConnection&) = delete;

    // Initiator. Opens the TCP connection and the association; `initiateRequest` is the MMS
    // initiate request, `initiateResponse` receives the peer's MMS PDU from the AARE. The whole
    // set-up is bounded by timeoutMs. `params` gives the selectors, AP titles, password and
    // local end point.
    IsoStatus connect(const std::string& host, uint16_t port, int timeoutMs,
                      const std::vector<uint8_t>& initiateRequest, std::vector<uint8_t>& initiateResponse,
                      std::string& error, const AssociationParams& params = AssociationParams());

    // Responder. Takes ownership of the accepted socket `fd` and runs the association set-up.
    // `onInitiate` gets the MMS initiate request and fills the MMS response; returning false
    // rejects the association (the response, e.g. an initiate error, is still sent).
    using InitiateCallback =
        std::function<bool(const uint8_t* request, size_t length, std::vector<uint8_t>& response)>;
    // Checks the authentication of the AARQ before the initiate is looked at: returns a
    // negative number to go on, or the ACSE diagnostic of the rejection.
    using AuthenticationCheck = std::function<int(const Authentication& authentication)>;
    // fd -1: use the socket given to adopt() before.
    IsoStatus accept(int fd, int timeoutMs, const InitiateCallback& onInitiate, std::string& error,
                     const AuthenticationCheck& checkAuthentication = AuthenticationCheck());
    // Takes ownership of a connected socket without doing anything else yet.
    void adopt(int fd);

    // Sends one MMS PDU (segmented into DT TPDUs as needed). Thread-safe.
    IsoStatus sendMms(const uint8_t* pdu, size_t length);
    // Sends several MMS PDUs, in one write to the socket when each fits one TPDU: requests
    // sent ahead together cost the peer one wake-up instead of one each. Thread-safe.
    IsoStatus sendMms(const std::vector<std::vector<uint8_t>>& pdus);

    // Whether the receive buffer holds a whole unit already, so that receive() returns it
    // without a system call. For the thread that receives.
    bool unitBuffered() const;

    enum class Event {
        Data,            // an MMS PDU in `pdu`
        ReleaseRequest,  // the peer asks to release (FN/RLRQ): answer with sendReleaseResponse()
        ReleaseResponse, // the peer confirmed our release (DN/RLRE)
    };
    // Waits up to timeoutMs (negative: no limit) for the next complete unit. Only one thread
    // at a time may receive. Once the association is open the thread waits in recv() itself
    // (one system call per unit, time-outs checked every kReceiveSliceMs); with `wakeFd` it
    // waits in poll() on the socket and that descriptor instead, and returns Timeout as soon
    // as the descriptor becomes readable.
    IsoStatus receive(std::vector<uint8_t>& pdu, Event& event, int timeoutMs, int wakeFd = -1);

    IsoStatus sendReleaseRequest();
    IsoStatus sendReleaseResponse();
    // Sends a session abort; best effort.
    void sendAbort();

    // Ends the TCP connection in both directions; a blocked receive() returns Closed. The socket
    // stays allocated until close() or destruction. Thread-safe.
    void shutdown();
    void close();

    bool isOpen() const { return _fd >= 0; }
    std::string peerAddress() const;
    size_t maxTpduSize() const { return _maxTpdu; }

private:
    IsoStatus readTpkt(const uint8_t*& payload, size_t& length, int64_t deadlineMs, int wakeFd = -1);
    IsoStatus readTsdu(std::vector<uint8_t>& tsdu, int64_t deadlineMs, int wakeFd = -1);
    // After the association set-up: a blocking socket whose recv() gives up after
    // kReceiveSliceMs, so a receiver needs no poll() before each unit.
    void enterBlockingReceive();
    IsoStatus sendRaw(const uint8_t* data, size_t length);
    IsoStatus sendTsdu(const std::vector<uint8_t>& tsdu);
    // Appends the single DT TPDU that carries `pdu` to `out`; false (nothing appended) when the
    // PDU needs several. The caller holds _sendMutex.
    bool appendSingleTpdu(std::vector<uint8_t>& out, const uint8_t* pdu, size_t length);

    std::atomic<int> _fd{-1};
    std::mutex _sendMutex;
    std::vector<uint8_t> _rx;
    size_t _rxStart = 0;
    size_t _rxEnd = 0;
    std::vector<uint8_t> _tsdu; // reassembly of DT segments
    std::vector<uint8_t> _sendBuf;
    std::vector<uint8_t> _headerScratch; // presentation header sizing, under _sendMutex
    bool _blockingReceive = false;
    size_t _maxTpdu = 128;
    uint16_t _localRef = 0x0001;
    uint16_t _remoteRef = 0;
    int _mmsContextId = 3;
    int _acseContextId = 1;
};

} // namespace iso
} // namespace stack
