#pragma once
// The client side of one MMS association: connect (ISO layers + MMS initiate), confirmed
// requests with invoke IDs from any thread, one receive thread per connection that delivers
// information reports and watches the socket while no request waits, conclude and release.
//
// Who reads the socket: a thread waiting for an answer reads it itself (one thread at a time,
// the "reader"), so an answer reaches the caller without a hand-off between threads. While
// callers wait, and for a moment after the last one (kReaderLingerMs), the receive thread stays
// off the socket; otherwise it waits on it and is woken through an eventfd when a caller comes.
// Information reports always run on the receive thread: a caller that reads one queues it.
#include "mms_client_connection.h"
#include "stack/src/iso/IsoConnection.h"
#include "stack/src/mms/client/ConnectionParameters.h"
#include "stack/src/mms/MmsPdu.h"

#include <atomic>
#include <chrono>
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
    // request() in two halves, for a caller that keeps requests outstanding while it does other
    // work: start() registers, encodes and sends a request (its invoke id in `id`); finish()
    // waits for that answer and checks it. A started request is finished or abandoned once.
    // When the server's limit of outstanding requests is reached, start() waits for a free slot
    // up to the request time-out, or with `waitForSlot` false fails at once, with
    // MMS_ERROR_OUTSTANDING_CALL_LIMIT either way.
    MmsError start(const Encoder& encode, uint32_t& id, bool waitForSlot = true);
    // Starts as many of `encoders` as the server's limit leaves room for, without waiting,
    // sent together in one write; their invoke ids in `ids`, in order (empty on failure).
    MmsError startAll(const std::vector<Encoder>& encoders, std::vector<uint32_t>& ids);
    MmsError finish(uint32_t id, Response& response);
    // Whether the answer to a started request has come (or the association ended).
    bool answered(uint32_t id);
    // Forgets a started request that will not be finished; a late answer is dropped.
    void abandon(uint32_t id);
    // Requests this association can still send before the server's limit of outstanding calls.
    int freeSlots();

    // All names of an object class (ObjectClass or another basic object class code) in a
    // domain, or in the VMD when `domain` is empty, asked page by page.
    MmsError getNameList(int objectClass, const std::string& domain, std::vector<std::string>& names);
    // The pages after `names`, the part of the list already read (from a first page asked
    // ahead, say), appended while the server says that more follow.
    MmsError continueNameList(int objectClass, const std::string& domain, std::vector<std::string>& names);

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
        uint64_t reportsBefore = 0; // reports read before the answer
        uint64_t rawBefore = 0;     // raw messages queued up to the answer
    };
    static constexpr uint32_t kConcludeKey = 0xFFFFFFFFu;

    using Report = std::pair<VariableAccess, std::vector<MmsValue*>>;
    enum class Reader { None, Thread, Caller };

    void receiveLoop();
    // Reads and handles one unit from the socket; the calling thread holds the reader role.
    // false when the association ended.
    bool receiveUnit(int timeoutMs, bool onReceiveThread);
    // The association ended: no more sends or receives, every waiting request fails. With
    // `loss`, an association that was open and not closed by close() is reported lost.
    void end(MmsError error, bool loss = true);
    void deliverReport(Report& report);
    uint64_t rawDrained();
    void complete(uint32_t key, MmsError error, std::vector<uint8_t>* bytes);
    void failAll(MmsError error);
    void queueRaw(const uint8_t* data, size_t length, bool received);
    void drainRaw();
    // Requests sent and not answered yet; the caller holds _mutex.
    int unanswered() const;
    // Registers a new request under a free invoke id; the caller holds _mutex.
    uint32_t newRequest();
    // Encodes and sends registered requests, forgetting them again when that fails.
    MmsError send(const Encoder* encoders, const uint32_t* ids, size_t count);
    // Waits for the answer under `key`, reading the socket while no other thread does.
    MmsError waitFor(uint32_t key, std::unique_lock<std::mutex>& lock, uint32_t timeoutMs, Pending& out);
    MmsError conclude(uint32_t timeoutMs);

    iso::IsoConnection _iso;
    std::thread _rxThread;
    std::atomic<std::thread::id> _rxThreadId{};
    std::atomic<bool> _connected{false};
    std::atomic<bool> _stopping{false};
    std::atomic<size_t> _maxPdu{0};
    int _maxOutstanding = 5;

    std::mutex _mutex;                 // pending requests, invoke IDs, the reader role, queued reports
    std::condition_variable _cv;       // callers: an answer came, the socket is free
    std::condition_variable _threadCv; // the receive thread: a report is queued, a stop or an end
    std::map<uint32_t, Pending> _pending;
    uint32_t _nextInvokeId = 1;
    bool _released = false;
    Reader _reader = Reader::None;
    int _callers = 0;                                  // threads waiting for an answer
    std::chrono::steady_clock::time_point _lastCall{}; // when the last caller stopped waiting
    bool _ended = false;                               // the association ended (end() ran)
    bool _reportLoss = false;                          // ...other than by close(): tell the lost handler
    std::deque<Report> _reports;                       // read by callers, delivered by the thread
    uint64_t _reportsRead = 0;                         // reports callers have queued...
    uint64_t _reportsDone = 0;                         // ...and how many of them were delivered
    int _wakeFd = -1;                                  // eventfd: a caller wants the socket
    std::vector<uint8_t> _unit;                        // the reader's receive buffer

    std::mutex _handlerMutex; // handlers and the raw queue
    MmsRawMessageHandler _rawHandler = nullptr;
    void* _rawParameter = nullptr;
    std::deque<std::vector<uint8_t>> _rawQueue; // last byte: 1 received, 0 sent
    std::atomic<bool> _rawPending{false};       // raw messages wait for the receive thread
    uint64_t _rawQueued = 0;                    // raw messages queued...
    uint64_t _rawDrained = 0;                   // ...and handled (or dropped with the handler)
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
