#include "stack/src/mms/server/MmsServer.h"

#include "mms_value.h"
#include "stack/src/iso/IsoConnection.h"
#include "stack/src/mms/AlternateAccess.h"
#include "stack/src/mms/MmsListServices.h"
#include "stack/src/mms/MmsPdu.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

namespace stack {
namespace mms {

namespace {

// A read for a request: the whole variable, or the part its alternate access selects (taken from
// the whole value with the variable's type). A new value, an access error value, or nullptr.
MmsValue* readSelected(MmsServerHandler& handler, MmsServerConnection& conn, const ObjectName& name) {
    if (name.alternateAccess.empty())
        return handler.readVariable(conn, name);
    ObjectName base = name;
    base.alternateAccess.clear();
    MmsValue* whole = handler.readVariable(conn, base);
    if (whole == nullptr || MmsValue_getType(whole) == MMS_DATA_ACCESS_ERROR)
        return whole;
    MmsDataAccessError error = DATA_ACCESS_ERROR_SUCCESS;
    const MmsValue* part =
        selectPart(whole, handler.getVariableAccessAttributes(conn, base), name.alternateAccess, error);
    MmsValue* result = part ? MmsValue_clone(part) : MmsValue_newDataAccessError(error);
    MmsValue_delete(whole);
    return result;
}

// A write for a request: a part is written by writing the whole variable with that part replaced.
MmsDataAccessError writeSelected(MmsServerHandler& handler, MmsServerConnection& conn, const ObjectName& name,
                                 const MmsValue* value) {
    if (name.alternateAccess.empty())
        return handler.writeVariable(conn, name, value);
    ObjectName base = name;
    base.alternateAccess.clear();
    MmsValue* whole = handler.readVariable(conn, base);
    if (whole == nullptr)
        return DATA_ACCESS_ERROR_OBJECT_NONE_EXISTENT;
    MmsDataAccessError error = DATA_ACCESS_ERROR_SUCCESS;
    MmsValue* part =
        MmsValue_getType(whole) == MMS_DATA_ACCESS_ERROR
            ? nullptr
            : selectPart(whole, handler.getVariableAccessAttributes(conn, base), name.alternateAccess, error);
    if (MmsValue_getType(whole) == MMS_DATA_ACCESS_ERROR)
        error = MmsValue_getDataAccessError(whole);
    else if (part && (!MmsValue_equalTypes(part, value) || !MmsValue_update(part, value)))
        error = DATA_ACCESS_ERROR_TYPE_INCONSISTENT;
    else if (part)
        error = handler.writeVariable(conn, base, whole);
    MmsValue_delete(whole);
    return error;
}

// Receive loops wake up this often to notice a stop.
constexpr int kPollMs = 200;
// Room kept free in a response for everything around the names or values.
constexpr size_t kResponseOverhead = 64;

// Reject problem types and codes used by the server.
constexpr uint32_t kRejectConfirmedRequest = 1;
constexpr uint32_t kRejectPduError = 5;
constexpr int32_t kUnrecognizedService = 1;
constexpr int32_t kInvalidArgument = 4;
constexpr int32_t kInvalidPdu = 1;

class ServerConnection : public MmsServerConnection {
public:
    ServerConnection(uint64_t id) : _id(id) {}

    uint64_t id() const override { return _id; }
    std::string peerAddress() const override { return _peer; }
    bool isOpen() const override { return _open.load(); }

    bool sendInformationReport(const std::string& listName,
                               const std::vector<const MmsValue*>& values) override {
        if (!_open.load())
            return false;
        for (const MmsValue* v : values)
            if (v == nullptr)
                return false;
        ber::Writer w;
        encodeInformationReport(w, listName, values);
        if (w.size() > _maxPdu)
            return false;
        return iso.sendMms(w.bytes().data(), w.size()) == iso::IsoStatus::Ok;
    }

    bool sendInformationReport(const std::vector<ObjectName>& variables,
                               const std::vector<const MmsValue*>& values) override {
        if (!_open.load() || variables.size() != values.size())
            return false;
        for (const MmsValue* v : values)
            if (v == nullptr)
                return false;
        VariableAccess access;
        access.variables = variables;
        ber::Writer w;
        encodeInformationReport(w, access, values);
        if (w.size() > _maxPdu)
            return false;
        return iso.sendMms(w.bytes().data(), w.size()) == iso::IsoStatus::Ok;
    }

    void close() override { iso.shutdown(); }

    iso::IsoConnection iso;
    std::thread thread;
    std::atomic<bool> finished{false};
    std::atomic<bool> _open{false};
    std::string _peer;
    size_t _maxPdu = 65000;
    // The name list a client reads page by page: a continued GetNameList of the same class and
    // domain is answered from the list its first page came from, so a long list costs the
    // handler one listing instead of one per page. Used by the connection's thread only.
    struct NameListPages {
        int objectClass = -1;
        int scope = -1;
        std::string domain;
        std::vector<std::string> names;
        size_t next = 0; // the index after the last name sent
    } _nameListPages;

private:
    uint64_t _id;
};

} // namespace

class MmsServerImpl {
public:
    MmsServerImpl(MmsServerHandler& handler, MmsServerOptions options) : handler(handler), options(options) {}

    void acceptLoop();
    void connectionLoop(std::shared_ptr<ServerConnection> conn);
    // Returns false when the connection must be closed.
    bool dispatch(ServerConnection& conn, const std::vector<uint8_t>& pdu, ber::Writer& w);
    void handleConfirmed(ServerConnection& conn, const Pdu& pdu, ber::Writer& w, bool& keep);
    void reap(bool all);
    // -1 to accept the association, else the ACSE diagnostic of the rejection.
    int checkAuthentication(const iso::Authentication& auth) const {
        if (options.password.empty())
            return -1;
        if (!auth.present || !auth.password)
            return iso::kAcseDiagnosticAuthenticationRequired;
        return auth.value == options.password ? -1 : iso::kAcseDiagnosticAuthenticationFailure;
    }

    MmsServerHandler& handler;
    MmsServerOptions options;
    int listenFd = -1;
    uint16_t boundPort = 0;
    std::thread acceptor;
    std::atomic<bool> running{false};
    mutable std::mutex mutex;
    std::vector<std::shared_ptr<ServerConnection>> conns;
    uint64_t nextId = 1;
    std::string error;
};

void MmsServerImpl::reap(bool all) {
    std::vector<std::shared_ptr<ServerConnection>> done;
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (auto it = conns.begin(); it != conns.end();) {
            if (all || (*it)->finished.load()) {
                done.push_back(*it);
                it = conns.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& c : done) {
        if (all)
            c->close();
        if (c->thread.joinable())
            c->thread.join();
    }
}

void MmsServerImpl::acceptLoop() {
    pthread_setname_np(pthread_self(), "mms_srv_accept");
    while (running.load()) {
        reap(false);
        pollfd pfd{listenFd, POLLIN, 0};
        int r = ::poll(&pfd, 1, kPollMs);
        if (r <= 0)
            continue;
        int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        std::lock_guard<std::mutex> lock(mutex);
        if (!running.load() || static_cast<int>(conns.size()) >= options.maxConnections) {
            ::close(fd);
            continue;
        }
        auto conn = std::make_shared<ServerConnection>(nextId++);
        // The ISO connection owns the socket from here on, so that stop() can shut it down.
        conn->iso.adopt(fd);
        conns.push_back(conn);
        conn->thread = std::thread([this, conn]() {
            std::string err;
            iso::IsoStatus st = conn->iso.accept(
                -1, options.associationTimeoutMs,
                [this, &conn](const uint8_t* req, size_t n, std::vector<uint8_t>& resp) {
                    Pdu pdu;
                    InitiateParams params;
                    ber::Writer w;
                    if (!parsePdu(req, n, pdu) || pdu.kind != PduKind::InitiateRequest ||
                        !decodeInitiate(pdu, params)) {
                        encodeInitiateError(w);
                        resp = w.bytes();
                        return false;
                    }
                    InitiateParams answer;
                    answer.maxPduSize = std::min<int32_t>(std::max<int32_t>(params.maxPduSize, 512),
                                                          static_cast<int32_t>(options.maxPduSize));
                    answer.maxServOutstandingCalling =
                        std::clamp<int16_t>(params.maxServOutstandingCalling, 1, 10);
                    answer.maxServOutstandingCalled =
                        std::clamp<int16_t>(params.maxServOutstandingCalled, 1, 10);
                    answer.dataStructureNestingLevel =
                        std::clamp<int8_t>(params.dataStructureNestingLevel, 1, 10);
                    conn->_maxPdu = static_cast<size_t>(answer.maxPduSize);
                    encodeInitiateResponse(w, answer);
                    resp = w.bytes();
                    return true;
                },
                err, [this](const iso::Authentication& auth) { return checkAuthentication(auth); });
            if (st == iso::IsoStatus::Ok)
                connectionLoop(conn);
            conn->iso.shutdown();
            conn->finished.store(true);
        });
    }
}

void MmsServerImpl::connectionLoop(std::shared_ptr<ServerConnection> conn) {
    pthread_setname_np(pthread_self(), "mms_srv_conn");
    conn->_peer = conn->iso.peerAddress();
    conn->_open.store(true);
    handler.connectionOpened(conn);
    std::vector<uint8_t> pdu;
    ber::Writer w;
    while (running.load()) {
        iso::IsoConnection::Event ev;
        iso::IsoStatus st = conn->iso.receive(pdu, ev, kPollMs);
        if (st == iso::IsoStatus::Timeout)
            continue;
        if (st != iso::IsoStatus::Ok)
            break;
        if (ev == iso::IsoConnection::Event::ReleaseRequest) {
            conn->iso.sendReleaseResponse();
            break;
        }
        if (ev != iso::IsoConnection::Event::Data)
            break;
        w.clear();
        bool keep = dispatch(*conn, pdu, w);
        if (w.size() > 0 && conn->iso.sendMms(w.bytes().data(), w.size()) != iso::IsoStatus::Ok)
            break;
        if (!keep)
            break;
        if (w.size() > 0)
            handler.responseSent(*conn);
    }
    conn->_open.store(false);
    conn->iso.shutdown();
    handler.connectionClosed(conn);
}

bool MmsServerImpl::dispatch(ServerConnection& conn, const std::vector<uint8_t>& data, ber::Writer& w) {
    Pdu pdu;
    if (!parsePdu(data.data(), data.size(), pdu)) {
        encodeReject(w, false, 0, kRejectPduError, kInvalidPdu);
        return false;
    }
    switch (pdu.kind) {
    case PduKind::ConfirmedRequest: {
        bool keep = true;
        handleConfirmed(conn, pdu, w, keep);
        return keep;
    }
    case PduKind::ConcludeRequest:
        encodeConcludeResponse(w);
        return true;
    case PduKind::Unconfirmed:
        return true; // nothing a client sends unconfirmed matters to the server
    default:
        encodeReject(w, pdu.hasInvokeId, pdu.invokeId, kRejectPduError, kInvalidPdu);
        return false;
    }
}

void MmsServerImpl::handleConfirmed(ServerConnection& conn, const Pdu& pdu, ber::Writer& w, bool& keep) {
    const uint32_t id = pdu.invokeId;
    auto reject = [&](uint32_t type, int32_t code) {
        w.clear();
        encodeReject(w, true, id, type, code);
    };
    switch (pdu.service.tagNumber) {
    case ServiceGetNameList: {
        NameListRequest req;
        if (!decodeGetNameListRequest(pdu.service, req)) {
            reject(kRejectConfirmedRequest, kInvalidArgument);
            keep = false;
            return;
        }
        ObjectClass cls;
        if (req.objectClass == static_cast<int>(ObjectClass::NamedVariable))
            cls = ObjectClass::NamedVariable;
        else if (req.objectClass == static_cast<int>(ObjectClass::NamedVariableList))
            cls = ObjectClass::NamedVariableList;
        else if (req.objectClass == static_cast<int>(ObjectClass::Domain))
            cls = ObjectClass::Domain;
        else if (req.objectClass == static_cast<int>(ObjectClass::Journal))
            cls = ObjectClass::Journal;
        else {
            encodeConfirmedError(w, id, ErrorClassService, 0);
            return;
        }
        auto& pages = conn._nameListPages;
        const std::string domain = cls == ObjectClass::Domain ? std::string() : req.domain;
        const bool continued = req.hasContinueAfter && pages.objectClass == static_cast<int>(cls) &&
                               pages.scope == static_cast<int>(req.scope) && pages.domain == domain;
        if (!continued) {
            pages.objectClass = -1;
            pages.names.clear();
            bool ok;
            if (cls == ObjectClass::Domain)
                ok = req.scope == ObjectName::Scope::Vmd &&
                     handler.getNameList(conn, cls, domain, pages.names);
            else if (req.scope == ObjectName::Scope::Domain)
                ok = handler.getNameList(conn, cls, domain, pages.names);
            else
                ok = true; // nothing is defined in VMD or association scope
            if (!ok) {
                encodeConfirmedError(w, id, ErrorClassDefinition, 1); // object-undefined
                return;
            }
            pages.objectClass = static_cast<int>(cls);
            pages.scope = static_cast<int>(req.scope);
            pages.domain = domain;
            pages.next = 0;
        }
        const std::vector<std::string>& names = pages.names;
        size_t first = 0;
        if (req.hasContinueAfter) {
            if (pages.next > 0 && pages.next <= names.size() && names[pages.next - 1] == req.continueAfter) {
                first = pages.next;
            } else {
                auto it = std::find(names.begin(), names.end(), req.continueAfter);
                first = it == names.end() ? names.size() : static_cast<size_t>(it - names.begin()) + 1;
            }
        }
        size_t budget = conn._maxPdu > kResponseOverhead ? conn._maxPdu - kResponseOverhead : 0;
        size_t used = 0, count = 0;
        while (first + count < names.size()) {
            size_t cost = names[first + count].size() + 4;
            if (used + cost > budget && count > 0)
                break;
            used += cost;
            ++count;
        }
        pages.next = first + count;
        encodeGetNameListResponse(w, id, names, first, count, first + count < names.size());
        return;
    }
    case ServiceRead: {
        VariableAccess access;
        if (!decodeReadRequest(pdu.service, access)) {
            reject(kRejectConfirmedRequest, kInvalidArgument);
            keep = false;
            return;
        }
        std::vector<ObjectName> vars;
        if (access.isListName) {
            bool deletable = false;
            if (!handler.getNamedVariableListAttributes(conn, access.listName, vars, deletable)) {
                encodeConfirmedError(w, id, ErrorClassAccess, 2); // object-non-existent
                return;
            }
        } else {
            vars = std::move(access.variables);
        }
        std::vector<MmsValue*> owned;
        std::vector<const MmsValue*> results;
        owned.reserve(vars.size());
        for (const ObjectName& n : vars) {
            MmsValue* v = readSelected(handler, conn, n);
            if (v == nullptr)
                v = MmsValue_newDataAccessError(DATA_ACCESS_ERROR_OBJECT_NONE_EXISTENT);
            owned.push_back(v);
            results.push_back(v);
        }
        encodeReadResponse(w, id, results);
        for (MmsValue* v : owned)
            MmsValue_delete(v);
        if (w.size() > conn._maxPdu) {
            w.clear();
            encodeConfirmedError(w, id, ErrorClassResource, 1); // capability unavailable
        }
        return;
    }
    case ServiceWrite: {
        VariableAccess access;
        std::vector<MmsValue*> values;
        if (!decodeWriteRequest(pdu.service, access, values) || access.isListName ||
            access.variables.size() != values.size()) {
            for (MmsValue* v : values)
                MmsValue_delete(v);
            reject(kRejectConfirmedRequest, kInvalidArgument);
            keep = false;
            return;
        }
        std::vector<MmsDataAccessError> results;
        for (size_t i = 0; i < values.size(); ++i) {
            results.push_back(writeSelected(handler, conn, access.variables[i], values[i]));
            MmsValue_delete(values[i]);
        }
        encodeWriteResponse(w, id, results);
        return;
    }
    case ServiceGetVariableAccessAttributes: {
        ObjectName name;
        if (!decodeGetVariableAccessAttributesRequest(pdu.service, name)) {
            reject(kRejectConfirmedRequest, kInvalidArgument);
            keep = false;
            return;
        }
        const MmsVariableSpecification* typeDesc = handler.getVariableAccessAttributes(conn, name);
        if (typeDesc == nullptr)
            encodeConfirmedError(w, id, ErrorClassAccess, 2);
        else
            encodeGetVariableAccessAttributesResponse(w, id, typeDesc);
        if (w.size() > conn._maxPdu) {
            w.clear();
            encodeConfirmedError(w, id, ErrorClassResource, 1);
        }
        return;
    }
    case ServiceGetNamedVariableListAttributes: {
        ObjectName name;
        if (!decodeGetNamedVariableListAttributesRequest(pdu.service, name)) {
            reject(kRejectConfirmedRequest, kInvalidArgument);
            keep = false;
            return;
        }
        std::vector<ObjectName> members;
        bool deletable = false;
        if (!handler.getNamedVariableListAttributes(conn, name, members, deletable))
            encodeConfirmedError(w, id, ErrorClassAccess, 2);
        else
            encodeGetNamedVariableListAttributesResponse(w, id, members, deletable);
        return;
    }
    case ServiceIdentify:
        encodeIdentifyResponse(w, id, handler.identify(conn));
        return;
    case ServiceDefineNamedVariableList: {
        ObjectName name;
        std::vector<ObjectName> members;
        if (!decodeDefineNamedVariableListRequest(pdu.service, name, members)) {
            reject(kRejectConfirmedRequest, kInvalidArgument);
            return;
        }
        uint32_t errorClass = ErrorClassService;
        int32_t code = 0;
        if (handler.defineNamedVariableList(conn, name, members, errorClass, code))
            encodeDefineNamedVariableListResponse(w, id);
        else
            encodeConfirmedError(w, id, errorClass, code);
        return;
    }
    case ServiceDeleteNamedVariableList: {
        std::vector<ObjectName> names;
        if (!decodeDeleteNamedVariableListRequest(pdu.service, names)) {
            reject(kRejectConfirmedRequest, kInvalidArgument);
            return;
        }
        uint32_t matched = 0, deleted = 0;
        for (const ObjectName& n : names) {
            bool found = false;
            if (handler.deleteNamedVariableList(conn, n, found))
                ++deleted;
            if (found)
                ++matched;
        }
        encodeDeleteNamedVariableListResponse(w, id, matched, deleted);
        return;
    }
    default:
        reject(kRejectConfirmedRequest, kUnrecognizedService);
        return;
    }
}

MmsServer::MmsServer(MmsServerHandler& handler, MmsServerOptions options)
    : _impl(new MmsServerImpl(handler, options)) {}

MmsServer::~MmsServer() {
    stop();
}

bool MmsServer::start(const std::string& bindAddress, uint16_t port) {
    if (_impl->running.load()) {
        _impl->error = "server already running";
        return false;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (inet_pton(AF_INET, bindAddress.c_str(), &addr.sin_addr) != 1) {
        _impl->error = "invalid bind address " + bindAddress;
        return false;
    }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        _impl->error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || ::listen(fd, 16) != 0) {
        _impl->error =
            "cannot listen on " + bindAddress + ":" + std::to_string(port) + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    socklen_t len = sizeof(addr);
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    _impl->boundPort = ntohs(addr.sin_port);
    _impl->listenFd = fd;
    _impl->running.store(true);
    _impl->acceptor = std::thread([this]() { _impl->acceptLoop(); });
    return true;
}

void MmsServer::stop() {
    if (!_impl || !_impl->running.exchange(false))
        return;
    ::shutdown(_impl->listenFd, SHUT_RDWR); // wakes the acceptor's poll
    if (_impl->acceptor.joinable())
        _impl->acceptor.join();
    ::close(_impl->listenFd);
    _impl->listenFd = -1;
    _impl->reap(true);
}

bool MmsServer::isRunning() const {
    return _impl->running.load();
}
uint16_t MmsServer::port() const {
    return _impl->boundPort;
}
std::string MmsServer::lastError() const {
    return _impl->error;
}

std::vector<MmsServerConnectionPtr> MmsServer::connections() const {
    std::lock_guard<std::mutex> lock(_impl->mutex);
    std::vector<MmsServerConnectionPtr> out;
    for (const auto& c : _impl->conns)
        if (c->isOpen())
            out.push_back(c);
    return out;
}

} // namespace mms
} // namespace stack
