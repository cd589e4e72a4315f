#include "stack/src/mms/client/MmsClient.h"

#include "mms_value.h"

#include <algorithm>
#include <chrono>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace stack {
namespace mms {

namespace {

// The receive thread wakes this often to notice a stop; a caller reading the socket looks at
// its own deadline as often.
constexpr int kReceivePollMs = 50;
// After the last caller stopped waiting, the receive thread keeps off the socket this long, so
// that back-to-back requests need not wake it each time. Reports arriving meanwhile wait at most
// this long (a caller that reads the socket passes them on at once).
constexpr auto kReaderLinger = std::chrono::milliseconds(2);
// Bounded waits of an orderly release.
constexpr uint32_t kReleaseWaitMs = 1000;
constexpr int32_t kProposedMaxPdu = 65000;
// Requests outstanding at a time: a browse asks the next logical nodes' types ahead with the
// spare ones. A server that takes fewer says so in its answer.
constexpr int16_t kProposedOutstanding = 10;

} // namespace

MmsClient::~MmsClient() {
    close(false);
    if (_wakeFd >= 0)
        ::close(_wakeFd);
}

void MmsClient::setRawMessageHandler(MmsRawMessageHandler handler, void* parameter) {
    std::lock_guard<std::mutex> lock(_handlerMutex);
    _rawHandler = handler;
    _rawParameter = parameter;
    if (handler == nullptr) {
        _rawDrained += _rawQueue.size();
        _rawQueue.clear();
    }
}

void MmsClient::setReportHandler(ReportHandler handler) {
    std::lock_guard<std::mutex> lock(_handlerMutex);
    _reportHandler = std::move(handler);
}

void MmsClient::setLostHandler(std::function<void()> handler) {
    std::lock_guard<std::mutex> lock(_handlerMutex);
    _lostHandler = std::move(handler);
}

void MmsClient::queueRaw(const uint8_t* data, size_t length, bool received) {
    {
        std::lock_guard<std::mutex> lock(_handlerMutex);
        if (_rawHandler == nullptr)
            return;
        std::vector<uint8_t> copy(data, data + length);
        copy.push_back(received ? 1 : 0);
        _rawQueue.push_back(std::move(copy));
        ++_rawQueued;
    }
    // The receive thread calls the raw handler; a caller's answer waits until it has seen the
    // messages up to that answer (a lost wake-up costs at most kReaderLinger, the period at
    // which the thread looks anyway).
    _rawPending.store(true);
    if (!onReceiveThread())
        _threadCv.notify_all();
}

// On the receive thread only: the raw handler sees the messages in order on the connection's
// thread.
void MmsClient::drainRaw() {
    _rawPending.store(false);
    for (;;) {
        std::vector<uint8_t> msg;
        MmsRawMessageHandler handler;
        void* parameter;
        {
            std::lock_guard<std::mutex> lock(_handlerMutex);
            if (_rawQueue.empty() || _rawHandler == nullptr) {
                _rawDrained += _rawQueue.size();
                _rawQueue.clear();
                break;
            }
            msg = std::move(_rawQueue.front());
            _rawQueue.pop_front();
            handler = _rawHandler;
            parameter = _rawParameter;
        }
        bool received = msg.back() != 0;
        msg.pop_back();
        handler(parameter, msg.data(), static_cast<int>(msg.size()), received);
        std::lock_guard<std::mutex> lock(_handlerMutex);
        ++_rawDrained;
    }
    std::lock_guard<std::mutex> lock(_mutex);
    _cv.notify_all();
}

MmsError MmsClient::connect(const std::string& host, uint16_t port) {
    if (_connected.load())
        return MMS_ERROR_OTHER;
    close(false); // joins a receive thread left from a lost connection
    if (_wakeFd < 0 && (_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) < 0)
        return MMS_ERROR_OTHER;
    ber::Writer w;
    InitiateParams proposal;
    proposal.maxPduSize = kProposedMaxPdu;
    proposal.maxServOutstandingCalling = kProposedOutstanding;
    encodeInitiateRequest(w, proposal);
    std::vector<uint8_t> answer;
    std::string error;
    iso::IsoStatus st =
        _iso.connect(host, port, static_cast<int>(connectTimeoutMs.load()), w.bytes(), answer, error, params);
    if (st != iso::IsoStatus::Ok) {
        _iso.close();
        // As with the libiec61850 client: a peer that refuses or stays silent until the connect
        // time-out rejects the connection; a name that does not resolve fails locally.
        return st == iso::IsoStatus::Unresolved ? MMS_ERROR_OTHER : MMS_ERROR_CONNECTION_REJECTED;
    }
    Pdu pdu;
    InitiateParams negotiated;
    if (!parsePdu(answer.data(), answer.size(), pdu) || pdu.kind != PduKind::InitiateResponse ||
        !decodeInitiate(pdu, negotiated)) {
        _iso.sendAbort();
        _iso.close();
        return MMS_ERROR_CONNECTION_REJECTED;
    }
    _maxPdu.store(
        static_cast<size_t>(std::max<int32_t>(std::min(negotiated.maxPduSize, kProposedMaxPdu), 64)));
    _maxOutstanding = std::clamp<int>(negotiated.maxServOutstandingCalling, 1, kProposedOutstanding);
    queueRaw(w.bytes().data(), w.size(), false);
    queueRaw(answer.data(), answer.size(), true);
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _pending.clear();
        _released = false;
        _reader = Reader::None;
        _callers = 0;
        _lastCall = std::chrono::steady_clock::time_point();
        _ended = false;
        _reportLoss = false;
    }
    uint64_t stale;
    while (::read(_wakeFd, &stale, sizeof stale) > 0) {
    }
    _stopping.store(false);
    _connected.store(true);
    _rxThread = std::thread([this]() { receiveLoop(); });
    return MMS_ERROR_NONE;
}

void MmsClient::complete(uint32_t key, MmsError error, std::vector<uint8_t>* bytes) {
    std::lock_guard<std::mutex> lock(_mutex);
    auto it = _pending.find(key);
    if (it == _pending.end())
        return; // answer to a request that timed out, or unsolicited
    it->second.done = true;
    it->second.error = error;
    it->second.reportsBefore = _reportsRead;
    {
        std::lock_guard<std::mutex> raw(_handlerMutex);
        it->second.rawBefore = _rawQueued;
    }
    if (bytes != nullptr)
        it->second.bytes.swap(*bytes);
    _cv.notify_all();
}

void MmsClient::failAll(MmsError error) {
    std::lock_guard<std::mutex> lock(_mutex);
    for (auto& p : _pending) {
        if (!p.second.done) {
            p.second.done = true;
            p.second.error = error;
        }
    }
    _cv.notify_all();
}

void MmsClient::end(MmsError error, bool loss) {
    bool wasConnected = _connected.exchange(false);
    _iso.shutdown();
    {
        std::lock_guard<std::mutex> lock(_mutex);
        if (!_ended)
            _reportLoss = loss && wasConnected && !_stopping.load();
        _ended = true;
        _threadCv.notify_all();
    }
    failAll(error);
}

uint64_t MmsClient::rawDrained() {
    std::lock_guard<std::mutex> lock(_handlerMutex);
    return _rawDrained;
}

void MmsClient::deliverReport(Report& report) {
    ReportHandler handler;
    {
        std::lock_guard<std::mutex> lock(_handlerMutex);
        handler = _reportHandler;
    }
    if (handler)
        handler(report.first, report.second);
    for (MmsValue* v : report.second)
        MmsValue_delete(v);
    report.second.clear();
}

bool MmsClient::receiveUnit(int timeoutMs, bool onReceiveThread) {
    iso::IsoConnection::Event ev;
    iso::IsoStatus st = _iso.receive(_unit, ev, timeoutMs, onReceiveThread ? _wakeFd : -1);
    if (st == iso::IsoStatus::Timeout)
        return true;
    if (st != iso::IsoStatus::Ok) {
        end(st == iso::IsoStatus::Error ? MMS_ERROR_PARSING_RESPONSE : MMS_ERROR_CONNECTION_LOST);
        return false;
    }
    if (ev == iso::IsoConnection::Event::ReleaseResponse) {
        {
            std::lock_guard<std::mutex> lock(_mutex);
            _released = true;
            _cv.notify_all();
        }
        end(MMS_ERROR_CONNECTION_LOST, false); // the answer to our release
        return false;
    }
    if (ev == iso::IsoConnection::Event::ReleaseRequest) {
        _iso.sendReleaseResponse();
        end(MMS_ERROR_CONNECTION_LOST);
        return false;
    }
    queueRaw(_unit.data(), _unit.size(), true);
    if (onReceiveThread)
        drainRaw();
    Pdu pdu;
    if (!parsePdu(_unit.data(), _unit.size(), pdu)) {
        // A peer that sends garbage loses the association.
        _iso.sendAbort();
        end(MMS_ERROR_PARSING_RESPONSE);
        return false;
    }
    switch (pdu.kind) {
    case PduKind::ConfirmedResponse:
    case PduKind::ConfirmedError:
        complete(pdu.invokeId, MMS_ERROR_NONE, &_unit);
        break;
    case PduKind::Reject:
        if (pdu.hasInvokeId)
            complete(pdu.invokeId, MMS_ERROR_NONE, &_unit);
        break;
    case PduKind::ConcludeResponse:
        complete(kConcludeKey, MMS_ERROR_NONE, nullptr);
        break;
    case PduKind::ConcludeError:
        complete(kConcludeKey, MMS_ERROR_CONCLUDE_REJECTED, nullptr);
        break;
    case PduKind::Unconfirmed: {
        Report report;
        if (!decodeInformationReport(pdu.service, report.first, report.second))
            break;
        if (onReceiveThread) {
            deliverReport(report);
        } else {
            std::lock_guard<std::mutex> lock(_mutex);
            _reports.push_back(std::move(report));
            ++_reportsRead;
            _threadCv.notify_all();
        }
        break;
    }
    default:
        break; // requests from the server are not served by a client
    }
    return true;
}

void MmsClient::receiveLoop() {
    pthread_setname_np(pthread_self(), "mms_client_rx");
    _rxThreadId.store(std::this_thread::get_id());
    for (;;) {
        std::deque<Report> reports;
        bool read = false;
        {
            std::unique_lock<std::mutex> lock(_mutex);
            for (;;) {
                if (_ended || _stopping.load() || !_reports.empty() || _rawPending.load())
                    break;
                // The socket is this thread's once no caller has waited for kReaderLinger.
                auto idle = std::chrono::steady_clock::now() - _lastCall;
                if (_callers == 0 && _reader == Reader::None && idle >= kReaderLinger) {
                    read = true;
                    break;
                }
                _threadCv.wait_for(lock, _callers > 0 || _reader != Reader::None ? kReaderLinger
                                                                                 : kReaderLinger - idle);
            }
            if (_ended || _stopping.load())
                break;
            reports.swap(_reports);
            if (read)
                _reader = Reader::Thread;
        }
        // Raw messages first: a report's own PDU reaches the raw handler before the report.
        drainRaw();
        if (!reports.empty()) {
            for (Report& r : reports)
                deliverReport(r);
            std::lock_guard<std::mutex> lock(_mutex);
            _reportsDone += reports.size();
            _cv.notify_all();
        }
        if (!read)
            continue;
        bool alive = receiveUnit(kReceivePollMs, true);
        {
            std::lock_guard<std::mutex> lock(_mutex);
            _reader = Reader::None;
            _cv.notify_all();
        }
        uint64_t wakes;
        while (::read(_wakeFd, &wakes, sizeof wakes) > 0) {
        }
        if (!alive)
            break;
    }
    drainRaw();
    end(MMS_ERROR_CONNECTION_LOST); // after a stop; a no-op once the association ended
    bool reportLoss;
    std::deque<Report> left;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        reportLoss = _reportLoss && !_stopping.load();
        _reportLoss = false;
        left.swap(_reports);
    }
    for (Report& r : left)
        for (MmsValue* v : r.second)
            MmsValue_delete(v);
    if (reportLoss) {
        std::function<void()> lost;
        {
            std::lock_guard<std::mutex> lock(_handlerMutex);
            lost = _lostHandler;
        }
        if (lost)
            lost();
    }
}

MmsError MmsClient::waitFor(uint32_t key, std::unique_lock<std::mutex>& lock, uint32_t timeoutMs,
                            Pending& out) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    ++_callers;
    bool wokeThread = false;
    MmsError result = MMS_ERROR_SERVICE_TIMEOUT;
    for (;;) {
        auto it = _pending.find(key);
        if (it == _pending.end()) {
            result = MMS_ERROR_CONNECTION_LOST;
            break;
        }
        if (!it->second.done && _ended) {
            it->second.done = true;
            it->second.error = MMS_ERROR_CONNECTION_LOST;
        }
        // An answer counts once the reports read before it have been delivered (a control's
        // LastApplError precedes the answer to the operate) and the raw handler has seen it.
        if (it->second.done &&
            (_ended || (_reportsDone >= it->second.reportsBefore && rawDrained() >= it->second.rawBefore))) {
            out = std::move(it->second);
            _pending.erase(it);
            result = out.error;
            break;
        }
        const auto now = Clock::now();
        if (now >= deadline) {
            _pending.erase(it);
            _cv.notify_all(); // a slot is free for a thread waiting in start()
            break;
        }
        if (_reader == Reader::None && !it->second.done) {
            // Nobody reads the socket: this thread does, for at most a slice of its wait.
            _reader = Reader::Caller;
            lock.unlock();
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1;
            // Units that came in the same read are taken in too, without a system call: answers
            // to requests asked ahead then count as answered and free their slots at once.
            while (receiveUnit(static_cast<int>(std::min<long long>(left, kReceivePollMs)), false) &&
                   _iso.unitBuffered())
                ;
            lock.lock();
            _reader = Reader::None;
            _cv.notify_all();
            continue;
        }
        if (_reader == Reader::Thread && !wokeThread) {
            // The receive thread waits on the socket: ask it to step aside.
            uint64_t one = 1;
            if (::write(_wakeFd, &one, sizeof one) == sizeof one)
                wokeThread = true;
        }
        _cv.wait_until(lock, deadline);
    }
    --_callers;
    _lastCall = Clock::now();
    // The receive thread notices on its own (it looks every kReaderLinger) that no caller waits.
    return result;
}

MmsError MmsClient::start(const Encoder& encode, uint32_t& id, bool waitForSlot) {
    if (!_connected.load())
        return MMS_ERROR_CONNECTION_LOST;
    if (onReceiveThread())
        return MMS_ERROR_OUTSTANDING_CALL_LIMIT;
    {
        std::unique_lock<std::mutex> lock(_mutex);
        // With every slot taken by other threads' requests, wait (up to the request time-out)
        // for an answer to free one.
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(requestTimeoutMs.load());
        while (unanswered() >= _maxOutstanding) {
            if (_ended)
                return MMS_ERROR_CONNECTION_LOST;
            if (!waitForSlot || _cv.wait_until(lock, deadline) == std::cv_status::timeout)
                if (unanswered() >= _maxOutstanding)
                    return MMS_ERROR_OUTSTANDING_CALL_LIMIT;
        }
        id = newRequest();
    }
    return send(&encode, &id, 1);
}

MmsError MmsClient::startAll(const std::vector<Encoder>& encoders, std::vector<uint32_t>& ids) {
    ids.clear();
    if (!_connected.load())
        return MMS_ERROR_CONNECTION_LOST;
    if (onReceiveThread())
        return MMS_ERROR_OUTSTANDING_CALL_LIMIT;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        const size_t room = static_cast<size_t>(std::max(0, _maxOutstanding - unanswered()));
        for (size_t i = 0; i < std::min(room, encoders.size()); ++i)
            ids.push_back(newRequest());
    }
    if (ids.empty())
        return encoders.empty() ? MMS_ERROR_NONE : MMS_ERROR_OUTSTANDING_CALL_LIMIT;
    MmsError e = send(encoders.data(), ids.data(), ids.size());
    if (e != MMS_ERROR_NONE)
        ids.clear();
    return e;
}

uint32_t MmsClient::newRequest() {
    uint32_t id;
    do {
        id = _nextInvokeId++;
        if (_nextInvokeId >= kConcludeKey)
            _nextInvokeId = 1;
    } while (_pending.count(id) != 0);
    _pending[id] = Pending();
    return id;
}

MmsError MmsClient::send(const Encoder* encoders, const uint32_t* ids, size_t count) {
    std::vector<std::vector<uint8_t>> pdus(count);
    MmsError e = MMS_ERROR_NONE;
    for (size_t i = 0; i < count && e == MMS_ERROR_NONE; ++i) {
        ber::Writer w;
        encoders[i](w, ids[i]);
        if (w.size() > _maxPdu.load())
            e = MMS_ERROR_RESOURCE_OTHER;
        pdus[i].swap(w.bytes());
    }
    if (e == MMS_ERROR_NONE) {
        for (const auto& pdu : pdus)
            queueRaw(pdu.data(), pdu.size(), false);
        const iso::IsoStatus st =
            count == 1 ? _iso.sendMms(pdus[0].data(), pdus[0].size()) : _iso.sendMms(pdus);
        if (st != iso::IsoStatus::Ok)
            e = MMS_ERROR_CONNECTION_LOST;
    }
    if (e != MMS_ERROR_NONE) {
        std::lock_guard<std::mutex> lock(_mutex);
        for (size_t i = 0; i < count; ++i)
            _pending.erase(ids[i]);
    }
    return e;
}

int MmsClient::unanswered() const {
    // An answered request no longer counts against the server's limit, even while nobody has
    // finished it yet.
    int n = 0;
    for (const auto& p : _pending)
        n += p.second.done ? 0 : 1;
    return n;
}

int MmsClient::freeSlots() {
    std::lock_guard<std::mutex> lock(_mutex);
    return _maxOutstanding - unanswered();
}

bool MmsClient::answered(uint32_t id) {
    std::lock_guard<std::mutex> lock(_mutex);
    auto it = _pending.find(id);
    return it == _pending.end() || it->second.done || _ended;
}

void MmsClient::abandon(uint32_t id) {
    std::lock_guard<std::mutex> lock(_mutex);
    _pending.erase(id);
    _cv.notify_all();
}

MmsError MmsClient::finish(uint32_t id, Response& response) {
    Pending result;
    std::unique_lock<std::mutex> lock(_mutex);
    MmsError err = waitFor(id, lock, requestTimeoutMs.load(), result);
    lock.unlock();
    if (err != MMS_ERROR_NONE)
        return err;
    response.bytes = std::move(result.bytes);
    if (!parsePdu(response.bytes.data(), response.bytes.size(), response.pdu))
        return MMS_ERROR_PARSING_RESPONSE;
    switch (response.pdu.kind) {
    case PduKind::ConfirmedResponse:
        return MMS_ERROR_NONE;
    case PduKind::ConfirmedError:
        return decodeConfirmedError(response.pdu);
    case PduKind::Reject:
        return decodeReject(response.pdu);
    default:
        return MMS_ERROR_PARSING_RESPONSE;
    }
}

MmsError MmsClient::request(const Encoder& encode, Response& response) {
    uint32_t id = 0;
    MmsError e = start(encode, id);
    return e != MMS_ERROR_NONE ? e : finish(id, response);
}

MmsError MmsClient::getNameList(int objectClass, const std::string& domain, std::vector<std::string>& names) {
    names.clear();
    return continueNameList(objectClass, domain, names);
}

MmsError MmsClient::continueNameList(int objectClass, const std::string& domain,
                                     std::vector<std::string>& names) {
    std::string continueAfter = names.empty() ? std::string() : names.back();
    bool more = true;
    // Each page continues after the last name of the previous one; a server that keeps
    // announcing more without progress is stopped.
    while (more) {
        Response r;
        bool haveContinue = !names.empty();
        MmsError e = request(
            [&](ber::Writer& w, uint32_t id) {
                encodeGetNameListRequest(w, id, objectClass, domain, haveContinue ? &continueAfter : nullptr);
            },
            r);
        if (e != MMS_ERROR_NONE)
            return e;
        size_t before = names.size();
        if (!decodeGetNameListResponse(r.pdu.service, names, more))
            return MMS_ERROR_PARSING_RESPONSE;
        if (names.size() == before || (haveContinue && names.back() == continueAfter))
            break; // no progress: a server that ignores continue-after must not loop us forever
        continueAfter = names.back();
        if (names.size() > 10000000)
            return MMS_ERROR_PARSING_RESPONSE;
    }
    return MMS_ERROR_NONE;
}

MmsError MmsClient::conclude(uint32_t timeoutMs) {
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _pending[kConcludeKey] = Pending();
    }
    ber::Writer w;
    encodeConcludeRequest(w);
    queueRaw(w.bytes().data(), w.size(), false);
    if (_iso.sendMms(w.bytes().data(), w.size()) != iso::IsoStatus::Ok) {
        std::lock_guard<std::mutex> lock(_mutex);
        _pending.erase(kConcludeKey);
        return MMS_ERROR_CONNECTION_LOST;
    }
    Pending result;
    std::unique_lock<std::mutex> lock(_mutex);
    return waitFor(kConcludeKey, lock, timeoutMs, result);
}

void MmsClient::close(bool release) {
    if (onReceiveThread()) {
        // Called from a handler: end the association; the thread finishes by itself and is
        // joined by the next connect, close or the destructor.
        _stopping.store(true);
        _connected.store(false);
        _iso.shutdown();
        std::lock_guard<std::mutex> lock(_mutex);
        _cv.notify_all();
        return;
    }
    if (_connected.load() && release) {
        if (conclude(kReleaseWaitMs) == MMS_ERROR_NONE && _iso.sendReleaseRequest() == iso::IsoStatus::Ok) {
            std::unique_lock<std::mutex> lock(_mutex);
            _cv.wait_for(lock, std::chrono::milliseconds(kReleaseWaitMs),
                         [this]() { return _released || !_connected.load(); });
        }
    } else if (_connected.load()) {
        _iso.sendAbort();
    }
    _stopping.store(true);
    _connected.store(false);
    _iso.shutdown();
    {
        // Wakes a receive thread that keeps off the socket, and waits until no caller reads it.
        std::unique_lock<std::mutex> lock(_mutex);
        _cv.notify_all();
        _threadCv.notify_all();
        _cv.wait(lock, [this]() { return _reader != Reader::Caller; });
    }
    if (_rxThread.joinable())
        _rxThread.join();
    _rxThreadId.store(std::thread::id());
    _iso.close();
    failAll(MMS_ERROR_CONNECTION_LOST);
    {
        std::lock_guard<std::mutex> lock(_handlerMutex);
        _rawQueue.clear();
    }
}

} // namespace mms
} // namespace stack
