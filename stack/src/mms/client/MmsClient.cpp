#include "stack/src/mms/client/MmsClient.h"

#include "mms_value.h"

#include <chrono>
#include <pthread.h>

namespace stack {
namespace mms {

namespace {

// The receive loop wakes this often to deliver queued raw messages and notice a stop.
constexpr int kReceivePollMs = 50;
// Bounded waits of an orderly release.
constexpr uint32_t kReleaseWaitMs = 1000;
constexpr int32_t kProposedMaxPdu = 65000;

} // namespace

MmsClient::~MmsClient() {
    close(false);
}

void MmsClient::setRawMessageHandler(MmsRawMessageHandler handler, void* parameter) {
    std::lock_guard<std::mutex> lock(_handlerMutex);
    _rawHandler = handler;
    _rawParameter = parameter;
    if (handler == nullptr)
        _rawQueue.clear();
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
    std::lock_guard<std::mutex> lock(_handlerMutex);
    if (_rawHandler == nullptr)
        return;
    std::vector<uint8_t> copy(data, data + length);
    copy.push_back(received ? 1 : 0);
    _rawQueue.push_back(std::move(copy));
}

void MmsClient::drainRaw() {
    for (;;) {
        std::vector<uint8_t> msg;
        MmsRawMessageHandler handler;
        void* parameter;
        {
            std::lock_guard<std::mutex> lock(_handlerMutex);
            if (_rawQueue.empty() || _rawHandler == nullptr) {
                _rawQueue.clear();
                return;
            }
            msg = std::move(_rawQueue.front());
            _rawQueue.pop_front();
            handler = _rawHandler;
            parameter = _rawParameter;
        }
        bool received = msg.back() != 0;
        msg.pop_back();
        handler(parameter, msg.data(), static_cast<int>(msg.size()), received);
    }
}

MmsError MmsClient::connect(const std::string& host, uint16_t port) {
    if (_connected.load())
        return MMS_ERROR_OTHER;
    close(false); // joins a receive thread left from a lost connection
    ber::Writer w;
    InitiateParams proposal;
    proposal.maxPduSize = kProposedMaxPdu;
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
    _maxOutstanding = std::max<int>(1, negotiated.maxServOutstandingCalling);
    queueRaw(w.bytes().data(), w.size(), false);
    queueRaw(answer.data(), answer.size(), true);
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _pending.clear();
        _released = false;
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

void MmsClient::receiveLoop() {
    pthread_setname_np(pthread_self(), "mms_client_rx");
    _rxThreadId.store(std::this_thread::get_id());
    std::vector<uint8_t> data;
    MmsError endError = MMS_ERROR_CONNECTION_LOST;
    while (!_stopping.load()) {
        drainRaw();
        iso::IsoConnection::Event ev;
        iso::IsoStatus st = _iso.receive(data, ev, kReceivePollMs);
        if (st == iso::IsoStatus::Timeout)
            continue;
        if (st != iso::IsoStatus::Ok) {
            if (st == iso::IsoStatus::Error)
                endError = MMS_ERROR_PARSING_RESPONSE;
            break;
        }
        if (ev == iso::IsoConnection::Event::ReleaseResponse) {
            std::lock_guard<std::mutex> lock(_mutex);
            _released = true;
            _cv.notify_all();
            break;
        }
        if (ev == iso::IsoConnection::Event::ReleaseRequest) {
            _iso.sendReleaseResponse();
            break;
        }
        drainRaw();
        queueRaw(data.data(), data.size(), true);
        drainRaw();
        Pdu pdu;
        if (!parsePdu(data.data(), data.size(), pdu)) {
            // A peer that sends garbage loses the association.
            endError = MMS_ERROR_PARSING_RESPONSE;
            _iso.sendAbort();
            break;
        }
        switch (pdu.kind) {
        case PduKind::ConfirmedResponse:
        case PduKind::ConfirmedError:
            complete(pdu.invokeId, MMS_ERROR_NONE, &data);
            break;
        case PduKind::Reject:
            if (pdu.hasInvokeId)
                complete(pdu.invokeId, MMS_ERROR_NONE, &data);
            break;
        case PduKind::ConcludeResponse:
            complete(kConcludeKey, MMS_ERROR_NONE, nullptr);
            break;
        case PduKind::ConcludeError:
            complete(kConcludeKey, MMS_ERROR_CONCLUDE_REJECTED, nullptr);
            break;
        case PduKind::Unconfirmed: {
            VariableAccess access;
            std::vector<MmsValue*> values;
            if (decodeInformationReport(pdu.service, access, values)) {
                ReportHandler handler;
                {
                    std::lock_guard<std::mutex> lock(_handlerMutex);
                    handler = _reportHandler;
                }
                if (handler)
                    handler(access, values);
                for (MmsValue* v : values)
                    MmsValue_delete(v);
            }
            break;
        }
        default:
            break; // requests from the server are not served by a client
        }
    }
    drainRaw();
    bool wasConnected = _connected.exchange(false);
    _iso.shutdown();
    failAll(endError);
    if (wasConnected && !_stopping.load()) {
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
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool done = _cv.wait_until(lock, deadline, [&]() { return _pending[key].done; });
    auto it = _pending.find(key);
    if (!done) {
        _pending.erase(it);
        return MMS_ERROR_SERVICE_TIMEOUT;
    }
    out = std::move(it->second);
    _pending.erase(it);
    return out.error;
}

MmsError MmsClient::request(const Encoder& encode, Response& response) {
    if (!_connected.load())
        return MMS_ERROR_CONNECTION_LOST;
    if (onReceiveThread())
        return MMS_ERROR_OUTSTANDING_CALL_LIMIT;
    uint32_t id;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        if (static_cast<int>(_pending.size()) >= _maxOutstanding)
            return MMS_ERROR_OUTSTANDING_CALL_LIMIT;
        do {
            id = _nextInvokeId++;
            if (_nextInvokeId >= kConcludeKey)
                _nextInvokeId = 1;
        } while (_pending.count(id) != 0);
        _pending[id] = Pending();
    }
    ber::Writer w;
    encode(w, id);
    if (w.size() > _maxPdu.load()) {
        std::lock_guard<std::mutex> lock(_mutex);
        _pending.erase(id);
        return MMS_ERROR_RESOURCE_OTHER;
    }
    queueRaw(w.bytes().data(), w.size(), false);
    if (_iso.sendMms(w.bytes().data(), w.size()) != iso::IsoStatus::Ok) {
        std::lock_guard<std::mutex> lock(_mutex);
        _pending.erase(id);
        return MMS_ERROR_CONNECTION_LOST;
    }
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

MmsError MmsClient::getNameList(int objectClass, const std::string& domain, std::vector<std::string>& names) {
    names.clear();
    std::string continueAfter;
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
