#pragma once
// The client side of one MMS association: connect (ISO layers + MMS initiate), confirmed
// requests with invoke IDs from any thread, one receive thread per connection that completes
// requests and delivers information reports and raw messages, conclude and release.
#include "mms_client_connection.h"
#include "stack/src/iso/IsoConnection.h"
#include "stack/src/mms/client/ConnectionParameters.h"
#include "stack/src/mms/MmsPdu.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace stack {
namespace mms {

struct Response {
    std::vector<uint8_t> bytes;
    Pdu pdu; // points into bytes
};

class MmsClient {
public:
    MmsClient() = default;
    virtual ~MmsClient();
    MmsClient(const MmsClient&) = delete;
    MmsClient& operator=(const MmsClient&) = delete;

    // Opens the association with the addressing and authentication of `params`. MMS_ERROR_NONE;
    // MMS_ERROR_CONNECTION_REJECTED when the peer refuses, does not answer in time or the
    // association fails; MMS_ERROR_OTHER when the host name does not resolve, the local
    // address cannot be bound or the client is already connected.
    MmsError connect(const std::string& host, uint16_t port);
    // Addressing, authentication and local end point of the next connect. Only change it while
    // no connect runs.
    iso::AssociationParams params;
    // Ends the association: with `release`, MMS conclude and ACSE release first (bounded waits),
    // else a session abort. Joins the receive thread unless called on it.
    void close(bool release);
    bool isConnected() const { return _connected.load(); }
    bool onReceiveThread() const { return std::this_thread::get_id() == _rxThreadId.load(); }

    using Encoder = std::function<void(ber::Writer&, uint32_t invokeId)>;
    // Sends a confirmed request and waits for its answer. Returns MMS_ERROR_NONE for a
    // confirmed response (in `response`), the mapped error of a confirmed error or reject PDU,
    // or a local error (connection lost, time-out, call from the receive thread, ...).
    MmsError request(const Encoder& encode, Response& response);

    // All names of an object class (ObjectClass or another basic object class code) in a
    // domain, or in the VMD when `domain` is empty, asked page by page.
    MmsError getNameList(int objectClass, const std::string& domain, std::vector<std::string>& names);

    void setRawMessageHandler(MmsRawMessageHandler handler, void* parameter);
    using ReportHandler = std::function<void(VariableAccess& access, std::vector<MmsValue*>& values)>;
    // Runs on the receive thread for each information report; the values are the handler's to
    // keep (the vector entries it leaves are deleted afterwards).
    void setReportHandler(ReportHandler handler);
    // Runs on the receive thread when an open association ends other than by close().
    void setLostHandler(std::function<void()> handler);

    std::atomic<uint32_t> requestTimeoutMs{5000};
    std::atomic<uint32_t> connectTimeoutMs{10000};
    size_t maxPduSize() const { return _maxPdu.load(); }

private:
    struct Pending {
        bool done = false;
        MmsError error = MMS_ERROR_NONE;
        std::vector<uint8_t> bytes;
    };
    static constexpr uint32_t kConcludeKey = 0xFFFFFFFFu;

    void receiveLoop();
    void complete(uint32_t key, MmsError error, std::vector<uint8_t>* bytes);
    void failAll(MmsError error);
    void queueRaw(const uint8_t* data, size_t length, bool received);
    void drainRaw();
    MmsError waitFor(uint32_t key, std::unique_lock<std::mutex>& lock, uint32_t timeoutMs, Pending& out);
    MmsError conclude(uint32_t timeoutMs);

    iso::IsoConnection _iso;
    std::thread _rxThread;
    std::atomic<std::thread::id> _rxThreadId{};
    std::atomic<bool> _connected{false};
    std::atomic<bool> _stopping{false};
    std::atomic<size_t> _maxPdu{0};
    int _maxOutstanding = 5;

    std::mutex _mutex; // pending requests, invoke IDs
    std::condition_variable _cv;
    std::map<uint32_t, Pending> _pending;
    uint32_t _nextInvokeId = 1;
    bool _released = false;

    std::mutex _handlerMutex; // handlers and the raw queue
    MmsRawMessageHandler _rawHandler = nullptr;
    void* _rawParameter = nullptr;
    std::deque<std::vector<uint8_t>> _rawQueue; // last byte: 1 received, 0 sent
    ReportHandler _reportHandler;
    std::function<void()> _lostHandler;
};

} // namespace mms
} // namespace stack

// The C handle of the MMS connection is the client object itself, with the C view of its
// association parameters.
struct sMmsConnection : public stack::mms::MmsClient {
    sIsoConnectionParameters isoParameters{&params};
};
