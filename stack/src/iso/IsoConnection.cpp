#include "stack/src/iso/IsoConnection.h"

#include "stack/src/iso/Cotp.h"
#include "stack/src/iso/Presentation.h"
#include "stack/src/iso/Session.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace stack {
namespace iso {

namespace {

// TPDU size we propose and accept at most: 8192 octets.
constexpr uint8_t kOurTpduSizeCode = 13;
// A send that cannot progress for this long fails (peer not reading).
constexpr int kSendStallMs = 10000;

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int64_t deadlineFrom(int timeoutMs) {
    return timeoutMs < 0 ? -1 : nowMs() + timeoutMs;
}

int remainingMs(int64_t deadline) {
    if (deadline < 0)
        return -1;
    int64_t r = deadline - nowMs();
    return r < 0 ? 0 : static_cast<int>(r > 1000000 ? 1000000 : r);
}

void setNonBlocking(int fd) {
    int flags = fcntl(fd, F_GETFL, 0);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

void setNoDelay(int fd) {
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
}

} // namespace

const char* isoStatusText(IsoStatus status) {
    switch (status) {
    case IsoStatus::Ok:
        return "ok";
    case IsoStatus::Timeout:
        return "timeout";
    case IsoStatus::Closed:
        return "connection closed";
    case IsoStatus::Rejected:
        return "connection rejected";
    case IsoStatus::Error:
        return "protocol or socket error";
    case IsoStatus::Unresolved:
        return "host name not resolved";
    }
    return "?";
}

IsoConnection::~IsoConnection() {
    close();
}

void IsoConnection::shutdown() {
    int fd = _fd.load();
    if (fd >= 0)
        ::shutdown(fd, SHUT_RDWR);
}

void IsoConnection::close() {
    int fd = _fd.exchange(-1);
    if (fd >= 0)
        ::close(fd);
}

void IsoConnection::adopt(int fd) {
    close();
    _blockingReceive = false;
    _fd.store(fd);
}

void IsoConnection::enterBlockingReceive() {
    int fd = _fd.load();
    if (fd < 0)
        return;
    timeval slice{0, kReceiveSliceMs * 1000};
    int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0 || setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &slice, sizeof(slice)) != 0 ||
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        return; // stays non-blocking: every receive polls first
    _blockingReceive = true;
}

std::string IsoConnection::peerAddress() const {
    sockaddr_in addr{};
    socklen_t len = sizeof(addr);
    if (_fd < 0 || getpeername(_fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return std::string();
    char text[INET_ADDRSTRLEN] = {0};
    inet_ntop(AF_INET, &addr.sin_addr, text, sizeof(text));
    return std::string(text) + ":" + std::to_string(ntohs(addr.sin_port));
}

IsoStatus IsoConnection::sendRaw(const uint8_t* data, size_t length) {
    size_t sent = 0;
    while (sent < length) {
        if (_fd < 0)
            return IsoStatus::Closed;
        // MSG_DONTWAIT: the socket may be blocking for receivers; a send never blocks.
        ssize_t n = ::send(_fd, data + sent, length - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd pfd{_fd, POLLOUT, 0};
            int r = ::poll(&pfd, 1, kSendStallMs);
            if (r == 0)
                return IsoStatus::Timeout;
            if (r < 0 && errno != EINTR)
                return IsoStatus::Error;
            if (pfd.revents & (POLLERR | POLLHUP | POLLNVAL))
                return IsoStatus::Closed;
            continue;
        }
        return (errno == EPIPE || errno == ECONNRESET) ? IsoStatus::Closed : IsoStatus::Error;
    }
    return IsoStatus::Ok;
}

IsoStatus IsoConnection::readTpkt(const uint8_t*& payload, size_t& length, int64_t deadline, int wakeFd) {
    for (;;) {
        size_t avail = _rxEnd - _rxStart;
        if (avail >= kTpktHeaderSize) {
            size_t total = tpktLength(_rx.data() + _rxStart);
            if (total == 0)
                return IsoStatus::Error;
            if (avail >= total) {
                payload = _rx.data() + _rxStart + kTpktHeaderSize;
                length = total - kTpktHeaderSize;
                _rxStart += total;
                return IsoStatus::Ok;
            }
        }
        // Make room: move the partial TPKT to the front, keep space for a maximal one.
        if (_rx.size() < 2 * kMaxTpktSize)
            _rx.resize(2 * kMaxTpktSize);
        if (_rxStart > 0 && (_rxStart == _rxEnd || _rx.size() - _rxEnd < kMaxTpktSize)) {
            std::memmove(_rx.data(), _rx.data() + _rxStart, _rxEnd - _rxStart);
            _rxEnd -= _rxStart;
            _rxStart = 0;
        }
        if (_fd < 0)
            return IsoStatus::Closed;
        const bool blocking = _blockingReceive && wakeFd < 0;
        if (!blocking) {
            pollfd pfd[2] = {{_fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
            int r = ::poll(pfd, wakeFd < 0 ? 1 : 2, remainingMs(deadline));
            if (r == 0)
                return IsoStatus::Timeout;
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                return IsoStatus::Error;
            }
            if (pfd[0].revents == 0)
                return IsoStatus::Timeout; // woken through wakeFd
        }
        ssize_t n = ::recv(_fd, _rx.data() + _rxEnd, _rx.size() - _rxEnd, 0);
        if (n == 0)
            return IsoStatus::Closed;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                // A blocking receive's slice ran out: look at the deadline.
                if (blocking && deadline >= 0 && remainingMs(deadline) == 0)
                    return IsoStatus::Timeout;
                continue;
            }
            return errno == ECONNRESET ? IsoStatus::Closed : IsoStatus::Error;
        }
        _rxEnd += static_cast<size_t>(n);
    }
}

bool IsoConnection::unitBuffered() const {
    for (size_t at = _rxStart; _rxEnd - at >= kTpktHeaderSize;) {
        const size_t total = tpktLength(_rx.data() + at);
        if (total == 0 || _rxEnd - at < total)
            return false;
        CotpTpdu tpdu;
        // Anything but a data TPDU that more follow is a unit, or an error that ends one.
        if (!decodeCotp(_rx.data() + at + kTpktHeaderSize, total - kTpktHeaderSize, tpdu) ||
            tpdu.code != CotpDT || tpdu.eot)
            return true;
        at += total;
    }
    return false;
}

IsoStatus IsoConnection::readTsdu(std::vector<uint8_t>& tsdu, int64_t deadline, int wakeFd) {
    for (;;) {
        const uint8_t* p = nullptr;
        size_t n = 0;
        IsoStatus st = readTpkt(p, n, deadline, wakeFd);
        if (st != IsoStatus::Ok)
            return st;
        CotpTpdu tpdu;
        if (!decodeCotp(p, n, tpdu))
            return IsoStatus::Error;
        if (tpdu.code == CotpDR)
            return IsoStatus::Closed;
        if (tpdu.code != CotpDT)
            return IsoStatus::Error;
        if (_tsdu.size() + tpdu.dataLength > kMaxTsduSize) {
            _tsdu.clear();
            return IsoStatus::Error;
        }
        _tsdu.insert(_tsdu.end(), tpdu.data, tpdu.data + tpdu.dataLength);
        if (tpdu.eot) {
            tsdu.swap(_tsdu);
            _tsdu.clear();
            return IsoStatus::Ok;
        }
    }
}

IsoStatus IsoConnection::sendTsdu(const std::vector<uint8_t>& tsdu) {
    std::lock_guard<std::mutex> lock(_sendMutex);
    size_t chunk = _maxTpdu - 3;
    _sendBuf.clear();
    size_t pos = 0;
    do {
        size_t n = std::min(chunk, tsdu.size() - pos);
        bool eot = pos + n == tsdu.size();
        appendDataHeader(_sendBuf, n, eot);
        _sendBuf.insert(_sendBuf.end(), tsdu.begin() + static_cast<std::ptrdiff_t>(pos),
                        tsdu.begin() + static_cast<std::ptrdiff_t>(pos + n));
        pos += n;
    } while (pos < tsdu.size());
    return sendRaw(_sendBuf.data(), _sendBuf.size());
}

bool IsoConnection::appendSingleTpdu(std::vector<uint8_t>& out, const uint8_t* pdu, size_t length) {
    _headerScratch.clear();
    appendUserDataHeader(_headerScratch, _mmsContextId, length);
    const size_t tsduSize = sizeof(kDataSpduHeader) + _headerScratch.size() + length;
    if (tsduSize + 3 > _maxTpdu)
        return false;
    appendDataHeader(out, tsduSize, true);
    out.insert(out.end(), kDataSpduHeader, kDataSpduHeader + sizeof(kDataSpduHeader));
    out.insert(out.end(), _headerScratch.begin(), _headerScratch.end());
    out.insert(out.end(), pdu, pdu + length);
    return true;
}

IsoStatus IsoConnection::sendMms(const uint8_t* pdu, size_t length) {
    std::unique_lock<std::mutex> lock(_sendMutex);
    _sendBuf.clear();
    // Common case: one TPDU, built in place and handed to the socket in one send.
    if (appendSingleTpdu(_sendBuf, pdu, length))
        return sendRaw(_sendBuf.data(), _sendBuf.size());
    lock.unlock();
    std::vector<uint8_t> tsdu;
    tsdu.reserve(sizeof(kDataSpduHeader) + length + 16);
    tsdu.insert(tsdu.end(), kDataSpduHeader, kDataSpduHeader + sizeof(kDataSpduHeader));
    appendUserData(tsdu, _mmsContextId, pdu, length);
    return sendTsdu(tsdu);
}

IsoStatus IsoConnection::sendMms(const std::vector<std::vector<uint8_t>>& pdus) {
    {
        std::lock_guard<std::mutex> lock(_sendMutex);
        _sendBuf.clear();
        bool single = true;
        for (size_t i = 0; i < pdus.size() && single; ++i)
            single = appendSingleTpdu(_sendBuf, pdus[i].data(), pdus[i].size());
        if (single)
            return sendRaw(_sendBuf.data(), _sendBuf.size());
    }
    for (const auto& pdu : pdus) {
        IsoStatus st = sendMms(pdu.data(), pdu.size());
        if (st != IsoStatus::Ok)
            return st;
    }
    return IsoStatus::Ok;
}

IsoStatus IsoConnection::receive(std::vector<uint8_t>& pdu, Event& event, int timeoutMs, int wakeFd) {
    int64_t deadline = deadlineFrom(timeoutMs);
    std::vector<uint8_t> tsdu;
    IsoStatus st = readTsdu(tsdu, deadline, wakeFd);
    if (st != IsoStatus::Ok)
        return st;
    Spdu spdu;
    if (!decodeSpdu(tsdu.data(), tsdu.size(), spdu))
        return IsoStatus::Error;
    switch (spdu.type) {
    case SpduDataTransfer: {
        int ctx = -1;
        Bytes data;
        if (!decodeUserData(spdu.userData, spdu.userDataLength, ctx, data) || ctx != _mmsContextId)
            return IsoStatus::Error;
        pdu.assign(data.data, data.data + data.length);
        event = Event::Data;
        return IsoStatus::Ok;
    }
    case SpduFinish:
        event = Event::ReleaseRequest;
        return IsoStatus::Ok;
    case SpduDisconnect:
        event = Event::ReleaseResponse;
        return IsoStatus::Ok;
    case SpduAbort:
    case SpduAbortAccept:
    case SpduRefuse:
        return IsoStatus::Closed;
    default:
        return IsoStatus::Error;
    }
}

IsoStatus IsoConnection::sendReleaseRequest() {
    std::vector<uint8_t> acse, pres, tsdu;
    appendRlrq(acse);
    appendUserData(pres, _acseContextId, acse.data(), acse.size());
    appendFinishSpdu(tsdu, pres.data(), pres.size());
    return sendTsdu(tsdu);
}

IsoStatus IsoConnection::sendReleaseResponse() {
    std::vector<uint8_t> acse, pres, tsdu;
    appendRlre(acse);
    appendUserData(pres, _acseContextId, acse.data(), acse.size());
    appendDisconnectSpdu(tsdu, pres.data(), pres.size());
    return sendTsdu(tsdu);
}

void IsoConnection::sendAbort() {
    std::vector<uint8_t> tsdu;
    appendAbortSpdu(tsdu);
    sendTsdu(tsdu);
}

IsoStatus IsoConnection::connect(const std::string& host, uint16_t port, int timeoutMs,
                                 const std::vector<uint8_t>& initiateRequest,
                                 std::vector<uint8_t>& initiateResponse, std::string& error,
                                 const AssociationParams& params) {
    close();
    _blockingReceive = false;
    _rxStart = _rxEnd = 0;
    _tsdu.clear();
    int64_t deadline = deadlineFrom(timeoutMs);

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &res) != 0 || res == nullptr) {
        error = "cannot resolve host " + host;
        return IsoStatus::Unresolved;
    }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        freeaddrinfo(res);
        error = std::string("socket: ") + std::strerror(errno);
        return IsoStatus::Error;
    }
    if (!params.localAddress.empty() || params.localPort != 0) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(params.localPort);
        int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
        if ((!params.localAddress.empty() &&
             inet_pton(AF_INET, params.localAddress.c_str(), &local.sin_addr) != 1) ||
            ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0) {
            error = "cannot bind the local address " + params.localAddress;
            freeaddrinfo(res);
            ::close(fd);
            return IsoStatus::Error;
        }
    }
    setNonBlocking(fd);
    setNoDelay(fd);
    int r = ::connect(fd, res->ai_addr, res->ai_addrlen);
    freeaddrinfo(res);
    if (r != 0 && errno != EINPROGRESS) {
        error = std::string("connect: ") + std::strerror(errno);
        ::close(fd);
        return errno == ECONNREFUSED ? IsoStatus::Rejected : IsoStatus::Error;
    }
    if (r != 0) {
        pollfd pfd{fd, POLLOUT, 0};
        int pr;
        do {
            pr = ::poll(&pfd, 1, remainingMs(deadline));
        } while (pr < 0 && errno == EINTR);
        if (pr == 0) {
            ::close(fd);
            error = "connect: timed out";
            return IsoStatus::Timeout;
        }
        int soError = 0;
        socklen_t len = sizeof(soError);
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len);
        if (pr < 0 || soError != 0) {
            error = std::string("connect: ") + std::strerror(soError != 0 ? soError : errno);
            ::close(fd);
            return soError == ECONNREFUSED ? IsoStatus::Rejected : IsoStatus::Error;
        }
    }
    _fd.store(fd);

    // COTP connection.
    std::vector<uint8_t> out;
    appendConnectRequest(out, _localRef, kOurTpduSizeCode, params.local.tSelector, params.remote.tSelector);
    IsoStatus st = sendRaw(out.data(), out.size());
    if (st != IsoStatus::Ok) {
        error = "sending COTP CR failed";
        return st;
    }
    const uint8_t* p = nullptr;
    size_t n = 0;
    st = readTpkt(p, n, deadline);
    if (st != IsoStatus::Ok) {
        error = std::string("waiting for COTP CC: ") + isoStatusText(st);
        return st;
    }
    CotpTpdu cc;
    if (!decodeCotp(p, n, cc)) {
        error = "malformed COTP answer";
        return IsoStatus::Error;
    }
    if (cc.code == CotpDR) {
        error = "COTP connection refused";
        return IsoStatus::Rejected;
    }
    if (cc.code != CotpCC) {
        error = "unexpected COTP TPDU instead of CC";
        return IsoStatus::Error;
    }
    uint8_t code = cc.tpduSizeCode == 0 ? kTpduSizeCodeMin : cc.tpduSizeCode;
    if (code < kTpduSizeCodeMin || code > kOurTpduSizeCode) {
        error = "invalid TPDU size in COTP CC";
        return IsoStatus::Error;
    }
    _maxTpdu = tpduSizeFromCode(code);
    _remoteRef = cc.srcRef;
    _mmsContextId = kMmsContextId;
    _acseContextId = kAcseContextId;

    // Session connect carrying presentation CP, ACSE AARQ and the MMS initiate request.
    std::vector<uint8_t> acse, pres, tsdu;
    appendAarq(acse, kMmsContextId, initiateRequest.data(), initiateRequest.size(), params);
    appendCpType(pres, acse.data(), acse.size(), params.local.pSelector, params.remote.pSelector);
    appendConnectSpdu(tsdu, pres.data(), pres.size(), params.local.sSelector, params.remote.sSelector);
    st = sendTsdu(tsdu);
    if (st != IsoStatus::Ok) {
        error = "sending session connect failed";
        return st;
    }
    std::vector<uint8_t> answer;
    st = readTsdu(answer, deadline);
    if (st != IsoStatus::Ok) {
        error = std::string("waiting for session accept: ") + isoStatusText(st);
        return st;
    }
    Spdu spdu;
    if (!decodeSpdu(answer.data(), answer.size(), spdu)) {
        error = "malformed session answer";
        return IsoStatus::Error;
    }
    if (spdu.type == SpduRefuse || spdu.type == SpduAbort) {
        error = "session connection refused";
        return IsoStatus::Rejected;
    }
    if (spdu.type != SpduAccept) {
        error = "unexpected session answer";
        return IsoStatus::Error;
    }
    Bytes aare, mms;
    bool accepted = false;
    if (!decodeCpaPpdu(spdu.userData, spdu.userDataLength, aare)) {
        error = "malformed or refusing presentation answer";
        return IsoStatus::Error;
    }
    if (!decodeAare(aare.data, aare.length, accepted, mms)) {
        error = "malformed ACSE answer";
        return IsoStatus::Error;
    }
    initiateResponse.assign(mms.data, mms.data + mms.length);
    if (!accepted) {
        error = "association rejected";
        return IsoStatus::Rejected;
    }
    enterBlockingReceive();
    return IsoStatus::Ok;
}

IsoStatus IsoConnection::accept(int fd, int timeoutMs, const InitiateCallback& onInitiate, std::string& error,
                                const AuthenticationCheck& checkAuthentication) {
    if (fd >= 0)
        adopt(fd);
    fd = _fd.load();
    if (fd < 0)
        return IsoStatus::Closed;
    _rxStart = _rxEnd = 0;
    _tsdu.clear();
    setNonBlocking(fd);
    setNoDelay(fd);
    int64_t deadline = deadlineFrom(timeoutMs);

    const uint8_t* p = nullptr;
    size_t n = 0;
    IsoStatus st = readTpkt(p, n, deadline);
    if (st != IsoStatus::Ok) {
        error = std::string("waiting for COTP CR: ") + isoStatusText(st);
        return st;
    }
    CotpTpdu cr;
    if (!decodeCotp(p, n, cr) || cr.code != CotpCR) {
        error = "expected COTP CR";
        return IsoStatus::Error;
    }
    if ((cr.classOption >> 4) != 0) {
        std::vector<uint8_t> dr;
        appendDisconnectRequest(dr, cr.srcRef, _localRef, 0x00);
        sendRaw(dr.data(), dr.size());
        error = "COTP class other than 0 requested";
        return IsoStatus::Rejected;
    }
    uint8_t code = cr.tpduSizeCode == 0 ? kTpduSizeCodeMin : cr.tpduSizeCode;
    if (code < kTpduSizeCodeMin)
        code = kTpduSizeCodeMin;
    if (code > kOurTpduSizeCode)
        code = kOurTpduSizeCode;
    _maxTpdu = tpduSizeFromCode(code);
    _remoteRef = cr.srcRef;
    std::vector<uint8_t> out;
    appendConnectConfirm(out, cr.srcRef, _localRef, code, cr.callingTsel, cr.calledTsel);
    st = sendRaw(out.data(), out.size());
    if (st != IsoStatus::Ok) {
        error = "sending COTP CC failed";
        return st;
    }

    std::vector<uint8_t> tsdu;
    st = readTsdu(tsdu, deadline);
    if (st != IsoStatus::Ok) {
        error = std::string("waiting for session connect: ") + isoStatusText(st);
        return st;
    }
    Spdu spdu;
    CpInfo cp;
    Bytes mms;
    Authentication authentication;
    if (!decodeSpdu(tsdu.data(), tsdu.size(), spdu) || spdu.type != SpduConnect ||
        !decodeCpType(spdu.userData, spdu.userDataLength, cp) ||
        !decodeAarq(cp.userData.data, cp.userData.length, mms, authentication)) {
        std::vector<uint8_t> rf;
        appendRefuseSpdu(rf);
        sendTsdu(rf);
        error = "malformed association request";
        return IsoStatus::Error;
    }
    _mmsContextId = cp.mmsContextId;
    _acseContextId = cp.acseContextId;
    int diagnostic = checkAuthentication ? checkAuthentication(authentication) : -1;
    std::vector<uint8_t> response;
    bool accepted = diagnostic < 0 && onInitiate(mms.data, mms.length, response);
    std::vector<uint8_t> acse, pres, ac;
    appendAare(acse, accepted, _mmsContextId, response.data(), response.size(), diagnostic);
    appendCpaPpdu(pres, cp, acse.data(), acse.size());
    appendAcceptSpdu(ac, pres.data(), pres.size());
    st = sendTsdu(ac);
    if (st != IsoStatus::Ok) {
        error = "sending session accept failed";
        return st;
    }
    if (!accepted) {
        error = diagnostic >= 0 ? "authentication failed" : "association rejected";
        return IsoStatus::Rejected;
    }
    enterBlockingReceive();
    return IsoStatus::Ok;
}

} // namespace iso
} // namespace stack
