// Read round trips of one MMS client connection against the server engine on loopback, next to
// a plain TCP ping-pong that moves the same byte counts per exchange (the baseline of the same
// run). The ratio MmsRead / TcpPingPong is the cost of the protocol stack on both ends.
//
//   bench_mms_read [--benchmark_min_time=2]
#include "iec61850_client.h"
#include "mms_type_spec.h"
#include "stack/src/iso/Presentation.h"
#include "stack/src/mms/MmsPdu.h"
#include "stack/src/mms/VariableTypes.h"
#include "stack/src/mms/server/MmsServer.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace stack::mms;

namespace {

// One float under LD0/GGIO1.AnIn1.mag.f[MX].
class OneValue : public MmsServerHandler {
public:
    bool getNameList(MmsServerConnection&, ObjectClass cls, const std::string&,
                     std::vector<std::string>& names) override {
        if (cls == ObjectClass::Domain)
            names.push_back("LD0");
        return true;
    }
    MmsValue* readVariable(MmsServerConnection&, const ObjectName& name) override {
        if (name.item != "GGIO1$MX$AnIn1$mag$f")
            return nullptr;
        return MmsValue_newFloat(42.5f);
    }
    MmsDataAccessError writeVariable(MmsServerConnection&, const ObjectName&, const MmsValue*) override {
        return DATA_ACCESS_ERROR_OBJECT_ACCESS_DENIED;
    }
};

// Size on the wire (TPKT, COTP, session, presentation headers included) of an MMS PDU.
size_t wireSize(size_t pduSize) {
    std::vector<uint8_t> header;
    stack::iso::appendUserDataHeader(header, 3, pduSize);
    return 4 + 3 + 4 + header.size() + pduSize;
}

void BM_MmsRead(benchmark::State& state) {
    OneValue handler;
    MmsServer server(handler);
    if (!server.start("127.0.0.1", 0)) {
        state.SkipWithError("server did not start");
        return;
    }
    IedConnection con = IedConnection_create();
    IedClientError err;
    IedConnection_connect(con, &err, "127.0.0.1", server.port());
    if (err != IED_ERROR_OK) {
        state.SkipWithError("connect failed");
        return;
    }
    for (auto _ : state) {
        MmsValue* v = IedConnection_readObject(con, &err, "LD0/GGIO1.AnIn1.mag.f", IEC61850_FC_MX);
        if (v == nullptr) {
            state.SkipWithError("read failed");
            break;
        }
        MmsValue_delete(v);
    }
    state.counters["reads_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    IedConnection_destroy(con);
}
BENCHMARK(BM_MmsRead)->UseRealTime();

// Byte counts of one read exchange, computed with the same encoders.
void exchangeSizes(size_t& request, size_t& response) {
    VariableAccess a;
    a.variables.emplace_back("LD0", "GGIO1$MX$AnIn1$mag$f");
    stack::ber::Writer w;
    encodeReadRequest(w, 1, a);
    request = wireSize(w.size());
    w.clear();
    MmsValue* v = MmsValue_newFloat(42.5f);
    encodeReadResponse(w, 1, {v});
    MmsValue_delete(v);
    response = wireSize(w.size());
}

bool recvAll(int fd, uint8_t* buf, size_t n) {
    size_t got = 0;
    while (got < n) {
        ssize_t r = ::recv(fd, buf + got, n - got, 0);
        if (r <= 0)
            return false;
        got += static_cast<size_t>(r);
    }
    return true;
}

void BM_TcpPingPong(benchmark::State& state) {
    size_t request = 0, response = 0;
    exchangeSizes(request, response);
    int lfd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(lfd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    ::listen(lfd, 1);
    socklen_t len = sizeof(addr);
    getsockname(lfd, reinterpret_cast<sockaddr*>(&addr), &len);
    std::thread echo([&]() {
        int c = ::accept(lfd, nullptr, nullptr);
        int one = 1;
        setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
        std::vector<uint8_t> in(request), out(response, 0x55);
        while (recvAll(c, in.data(), request))
            if (::send(c, out.data(), response, MSG_NOSIGNAL) != static_cast<ssize_t>(response))
                break;
        ::close(c);
    });
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    std::vector<uint8_t> out(request, 0xAA), in(response);
    for (auto _ : state) {
        ::send(fd, out.data(), request, MSG_NOSIGNAL);
        if (!recvAll(fd, in.data(), response)) {
            state.SkipWithError("echo failed");
            break;
        }
    }
    state.counters["request_bytes"] = static_cast<double>(request);
    state.counters["response_bytes"] = static_cast<double>(response);
    ::close(fd);
    echo.join();
    ::close(lfd);
}
BENCHMARK(BM_TcpPingPong)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
