// Browsing simulated IEDs through the stack's client, and report latency.
//
//   bench_sim_browse [ATTRIBUTES] [STATION]   (default 10000 data attributes, examples/station.scd)
//
// For the station's PROT1 and for a synthetic IED of ATTRIBUTES data attributes it prints the
// full browse down to every data attribute as the IED explorer does (server, device, logical
// node and data directories, types by FC): requests sent and wall time, against a client that
// asks one GetVariableAccessAttributes per logical node and walks the types itself, measured in
// the same run (ratio, target <= 0.8); both again behind a relay that makes the link a 0.5 ms
// round trip, as on a station network, where the waits for answers weigh more than on loopback.
// Then the read round trip against a TCP ping-pong of the same sizes on loopback (ratio, target
// <= 1.5), and the latency from a value change in the simulated IED to the client's report
// handler, as a ratio to the read round trip.
#include "mms/IecModelExplorer.h"
#include "sim/Model.h"
#include "sim/SimulatedIed.h"

#include "iec61850_client.h"
#include "mms_client_connection.h"
#include "mms_type_spec.h"
#include "stack/src/mms/client/IedConnectionInternal.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double usSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
}

// One logical device with `lnCount` GGIO nodes of 8 single-point statuses and 2 measured values
// (33 data attributes each), a data set and a report control block on the first one.
std::string writeScl(int lnCount) {
    char path[] = "/tmp/iecx_bench_sim_XXXXXX.cid";
    int fd = mkstemps(path, 4);
    if (fd < 0)
        return "";
    close(fd);
    std::ofstream out(path);
    out << "<?xml version=\"1.0\"?>\n<SCL xmlns=\"http://www.iec.ch/61850/2003/SCL\">\n"
           "<IED name=\"BIG\"><AccessPoint name=\"AP1\"><Server><LDevice inst=\"LD0\">\n"
           "<LN0 lnClass=\"LLN0\" inst=\"\" lnType=\"LLN0_T\">\n"
           "<DataSet name=\"DS\"><FCDA ldInst=\"LD0\" lnClass=\"GGIO\" lnInst=\"1\" doName=\"Ind1\" "
           "daName=\"stVal\" fc=\"ST\"/></DataSet>\n"
           "<ReportControl name=\"rcb\" datSet=\"DS\" rptID=\"R\" confRev=\"1\" buffered=\"false\">"
           "<TrgOps dchg=\"true\"/><OptFields seqNum=\"true\" reasonCode=\"true\"/></ReportControl>\n"
           "</LN0>\n";
    for (int i = 1; i <= lnCount; ++i)
        out << "<LN lnClass=\"GGIO\" inst=\"" << i << "\" lnType=\"GGIO_T\"/>\n";
    out << "</LDevice></Server></AccessPoint></IED>\n<DataTypeTemplates>\n"
           "<LNodeType id=\"LLN0_T\" lnClass=\"LLN0\"><DO name=\"Beh\" type=\"SPS\"/></LNodeType>\n"
           "<LNodeType id=\"GGIO_T\" lnClass=\"GGIO\">";
    for (int d = 1; d <= 8; ++d)
        out << "<DO name=\"Ind" << d << "\" type=\"SPS\"/>";
    out << "<DO name=\"AnIn1\" type=\"MV\"/><DO name=\"AnIn2\" type=\"MV\"/><DO name=\"Beh\" type=\"SPS\"/>"
           "</LNodeType>\n"
           "<DOType id=\"SPS\" cdc=\"SPS\"><DA name=\"stVal\" bType=\"BOOLEAN\" fc=\"ST\" dchg=\"true\"/>"
           "<DA name=\"q\" bType=\"Quality\" fc=\"ST\" qchg=\"true\"/><DA name=\"t\" bType=\"Timestamp\" "
           "fc=\"ST\"/>"
           "</DOType>\n"
           "<DOType id=\"MV\" cdc=\"MV\"><DA name=\"mag\" bType=\"Struct\" type=\"AV\" fc=\"MX\" "
           "dchg=\"true\"/>"
           "<DA name=\"q\" bType=\"Quality\" fc=\"MX\" qchg=\"true\"/><DA name=\"t\" bType=\"Timestamp\" "
           "fc=\"MX\"/>"
           "</DOType>\n"
           "<DAType id=\"AV\"><BDA name=\"f\" bType=\"FLOAT32\"/></DAType>\n"
           "</DataTypeTemplates></SCL>\n";
    return path;
}

std::vector<std::string> names(LinkedList list) {
    return VorIec61850::IecModelExplorer::takeNames(list);
}

std::atomic<uint64_t> g_requests{0};
std::atomic<int> g_lastSent{0}, g_lastReceived{0};
void onRawMessage(void*, uint8_t*, int length, bool received) {
    (received ? g_lastReceived : g_lastSent) = length;
    if (!received)
        ++g_requests;
}
// One-way delay of the link the browses are compared over as well (about 0.5 ms round trip).
constexpr int kLinkDelayUs = 250;
// TPKT, COTP data, session and presentation headers around an MMS PDU.
constexpr int kIsoHeaderBytes = 20;

// Expands one attribute path under one FC down to its leaves.
size_t expand(IedConnection con, const std::string& ref, FunctionalConstraint fc) {
    IedClientError err;
    auto children = names(IedConnection_getDataDirectoryByFC(con, &err, ref.c_str(), fc));
    if (children.empty())
        return 1;
    size_t leaves = 0;
    for (const auto& c : children)
        leaves += expand(con, ref + "." + c, fc);
    return leaves;
}

struct Latency {
    std::mutex mutex;
    std::condition_variable cv;
    uint64_t count = 0;
    static void onReport(void* p, ClientReport) {
        auto* self = static_cast<Latency*>(p);
        std::lock_guard<std::mutex> lock(self->mutex);
        ++self->count;
        self->cv.notify_all();
    }
};

// Browses like the IED explorer through the directory calls; returns the data attributes found.
size_t browse(IedConnection con) {
    IedClientError err;
    size_t leaves = 0;
    for (const auto& ld : names(IedConnection_getServerDirectory(con, &err, false)))
        for (const auto& ln : names(IedConnection_getLogicalDeviceDirectory(con, &err, ld.c_str()))) {
            std::string lnRef = ld + "/" + ln;
            for (const auto& dobj : names(IedConnection_getLogicalNodeDirectory(con, &err, lnRef.c_str(),
                                                                                ACSI_CLASS_DATA_OBJECT))) {
                std::string doRef = lnRef + "." + dobj;
                for (const auto& child : names(IedConnection_getDataDirectoryFC(con, &err, doRef.c_str()))) {
                    size_t open = child.find('[');
                    FunctionalConstraint fc = FunctionalConstraint_fromString(child.c_str() + open + 1);
                    leaves += expand(con, doRef + "." + child.substr(0, open), fc);
                }
            }
        }
    return leaves;
}

size_t leavesOf(const MmsVariableSpecification* t) {
    if (t->type != MMS_STRUCTURE)
        return 1;
    size_t n = 0;
    for (int i = 0; i < t->typeSpec.structure.elementCount; ++i)
        n += leavesOf(t->typeSpec.structure.elements[i]);
    return n;
}

// The reference client: the device's names for its logical nodes, then one
// GetVariableAccessAttributes per logical node, its type walked locally.
size_t browseByLogicalNodeTypes(IedConnection con) {
    using namespace stack::mms;
    std::vector<std::string> domains;
    con->getNameList(ObjectClass::Domain, std::string(), domains);
    size_t leaves = 0;
    for (const auto& ld : domains) {
        std::vector<std::string> variables;
        con->getNameList(ObjectClass::NamedVariable, ld, variables);
        for (const auto& v : variables) {
            if (v.find('$') != std::string::npos)
                continue;
            Response r;
            ObjectName name(ld, v);
            if (con->request([&](stack::ber::Writer& w,
                                 uint32_t id) { encodeGetVariableAccessAttributesRequest(w, id, name); },
                             r) != IED_ERROR_OK)
                continue;
            MmsVariableSpecification* type = decodeGetVariableAccessAttributesResponse(r.pdu.service);
            if (!type)
                continue;
            for (int fc = 0; fc < type->typeSpec.structure.elementCount; ++fc) {
                const MmsVariableSpecification* group = type->typeSpec.structure.elements[fc];
                const std::string fcName = group->name ? group->name : "";
                if (fcName == "BR" || fcName == "RP" || fcName == "GO" || fcName == "LG" || fcName == "MS" ||
                    fcName == "US")
                    continue;
                leaves += leavesOf(group);
            }
            MmsVariableSpecification_destroy(type);
        }
    }
    return leaves;
}

struct BrowseResult {
    size_t leaves = 0;
    uint64_t requests = 0;
    double us = 0;
};

// One browse on a new association: its wall time and data attributes, or with `counting` the
// requests it sent, counted through the raw message handler (which is not installed while
// timing: it costs every request a call on the connection's thread).
template <typename Browse> BrowseResult browseOnce(uint16_t port, Browse browseFn, bool counting) {
    BrowseResult result;
    IedConnection con = IedConnection_create();
    IedClientError err;
    IedConnection_connect(con, &err, "127.0.0.1", port);
    if (err == IED_ERROR_OK) {
        if (counting)
            MmsConnection_setRawMessageHandler(IedConnection_getMmsConnection(con), onRawMessage, nullptr);
        g_requests = 0;
        auto t0 = Clock::now();
        result.leaves = browseFn(con);
        result.us = usSince(t0);
        result.requests = g_requests.load();
    }
    IedConnection_destroy(con);
    return result;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The two browses take turns, `runs` times each, so that both see the same state of the
// machine; the figures are the medians.
void compareBrowses(const char* title, uint16_t port, int runs) {
    std::vector<double> oursUs, referenceUs;
    BrowseResult ours, reference;
    for (int i = 0; i < runs; ++i) {
        ours = browseOnce(port, browse, false);
        reference = browseOnce(port, browseByLogicalNodeTypes, false);
        oursUs.push_back(ours.us);
        referenceUs.push_back(reference.us);
    }
    ours.requests = browseOnce(port, browse, true).requests;
    reference.requests = browseOnce(port, browseByLogicalNodeTypes, true).requests;
    const double o = median(oursUs), r = median(referenceUs);
    std::printf(
        "%s: browse %zu data attributes in %.1f ms with %llu requests; "
        "one type per logical node: %zu in %.1f ms with %llu requests; time ratio %.2f (target <= 0.8; "
        "medians of %d runs each, taking turns)\n",
        title, ours.leaves, o / 1000, static_cast<unsigned long long>(ours.requests), reference.leaves,
        r / 1000, static_cast<unsigned long long>(reference.requests), r > 0 ? o / r : 0.0, runs);
}

// Round trip of a request and an answer of the given sizes over a loopback TCP connection.
double tcpPingPongUs(size_t requestSize, size_t answerSize, int count) {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        close(listener);
        return 0;
    }
    auto readAll = [](int fd, std::vector<char>& buf, size_t n) {
        for (size_t got = 0; got < n;) {
            ssize_t r = recv(fd, buf.data() + got, n - got, 0);
            if (r <= 0)
                return false;
            got += static_cast<size_t>(r);
        }
        return true;
    };
    std::thread server([&] {
        int fd = accept(listener, nullptr, nullptr);
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::vector<char> buf(std::max(requestSize, answerSize));
        while (readAll(fd, buf, requestSize))
            if (send(fd, buf.data(), answerSize, 0) != static_cast<ssize_t>(answerSize))
                break;
        close(fd);
    });
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    double us = 0;
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        std::vector<char> buf(std::max(requestSize, answerSize));
        auto t0 = Clock::now();
        for (int i = 0; i < count; ++i)
            if (send(fd, buf.data(), requestSize, 0) != static_cast<ssize_t>(requestSize) ||
                !readAll(fd, buf, answerSize))
                break;
        us = usSince(t0) / count;
    }
    close(fd);
    server.join();
    close(listener);
    return us;
}

// A TCP relay on loopback that holds every chunk it forwards for `delayUs` in each direction:
// a link with a round trip of about twice that, as between a test set and an IED on a station
// network, where waiting for answers costs more than the work between them. Order and
// pipelining are kept: chunks are queued, not serialized by the delay.
class DelayedLink {
public:
    DelayedLink(uint16_t target, int delayUs) : _target(target), _delay(std::chrono::microseconds(delayUs)) {
        _listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr = loopback(0);
        socklen_t len = sizeof addr;
        if (bind(_listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            listen(_listener, 8) == 0 &&
            getsockname(_listener, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
            _port = ntohs(addr.sin_port);
        _acceptor = std::thread([this] { acceptLoop(); });
    }
    ~DelayedLink() {
        shutdown(_listener, SHUT_RDWR);
        close(_listener);
        _acceptor.join();
        for (auto& t : _relays)
            t.join();
    }
    uint16_t port() const { return _port; }

private:
    static sockaddr_in loopback(uint16_t port) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(port);
        return addr;
    }
    void acceptLoop() {
        for (;;) {
            int client = accept(_listener, nullptr, nullptr);
            if (client < 0)
                return;
            int server = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in addr = loopback(_target);
            if (connect(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
                close(client);
                close(server);
                continue;
            }
            for (int fd : {client, server}) {
                int one = 1;
                setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            }
            // Each direction ends by closing its writing side; the second to end closes both.
            auto open = std::make_shared<std::atomic<int>>(2);
            _relays.emplace_back([=] { relay(client, server, open); });
            _relays.emplace_back([=] { relay(server, client, open); });
        }
    }
    // Forwards from `in` to `out`, each chunk `_delay` after it came.
    void relay(int in, int out, std::shared_ptr<std::atomic<int>> open) {
        prctl(PR_SET_TIMERSLACK, 1UL); // wake up on time, not up to 50 us late
        std::deque<std::pair<Clock::time_point, std::vector<char>>> queue;
        bool reading = true;
        while (reading || !queue.empty()) {
            const auto now = Clock::now();
            while (!queue.empty() && queue.front().first <= now) {
                const auto& chunk = queue.front().second;
                if (send(out, chunk.data(), chunk.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(chunk.size()))
                    reading = false;
                queue.pop_front();
            }
            if (!reading && queue.empty())
                break;
            const auto wait = queue.empty() ? std::chrono::nanoseconds(std::chrono::milliseconds(100))
                                            : std::chrono::nanoseconds(queue.front().first - now);
            timespec timeout{static_cast<time_t>(wait.count() / 1000000000),
                             static_cast<long>(wait.count() % 1000000000)};
            pollfd pfd{in, POLLIN, 0};
            if (reading && ppoll(&pfd, 1, &timeout, nullptr) > 0) {
                std::vector<char> chunk(65536);
                ssize_t n = recv(in, chunk.data(), chunk.size(), 0);
                if (n <= 0) {
                    reading = false;
                } else {
                    chunk.resize(static_cast<size_t>(n));
                    queue.emplace_back(Clock::now() + _delay, std::move(chunk));
                }
            } else if (!reading) {
                nanosleep(&timeout, nullptr);
            }
        }
        shutdown(out, SHUT_WR);
        if (--*open == 0) {
            close(in);
            close(out);
        }
    }

    uint16_t _target;
    Clock::duration _delay;
    int _listener = -1;
    uint16_t _port = 0;
    std::thread _acceptor;
    std::vector<std::thread> _relays;
};

} // namespace

int main(int argc, char** argv) {
    int attributes = argc > 1 ? std::atoi(argv[1]) : 10000;
    const std::string station = argc > 2 ? argv[2] : IECX_STATION_FILE;
    int lnCount = std::max(1, (attributes - 3) / 33);
    std::string file = writeScl(lnCount);
    iecx::sim::SimulatedIed sim;
    sim.load(file, "");
    std::remove(file.c_str());
    if (!sim.start("127.0.0.1", 0)) {
        std::fprintf(stderr, "cannot start the simulated IED: %s\n", sim.lastError().c_str());
        return 1;
    }
    std::printf("model: %zu data attributes in %d logical nodes\n", sim.model().attributeCount(),
                lnCount + 1);

    IedConnection con = IedConnection_create();
    IedClientError err;
    IedConnection_connect(con, &err, "127.0.0.1", sim.port());
    if (err != IED_ERROR_OK) {
        std::fprintf(stderr, "connect failed: %d\n", err);
        return 1;
    }
    // The sizes of one read on the wire, for the ping-pong baseline below.
    MmsConnection_setRawMessageHandler(IedConnection_getMmsConnection(con), onRawMessage, nullptr);
    MmsValue_delete(IedConnection_readObject(con, &err, "BIGLD0/GGIO1.Ind1.stVal", IEC61850_FC_ST));
    MmsConnection_setRawMessageHandler(IedConnection_getMmsConnection(con), nullptr, nullptr);

    // Baseline: one read round trip.
    const int kReads = 2000;
    for (int i = 0; i < 100; ++i)
        MmsValue_delete(IedConnection_readObject(con, &err, "BIGLD0/GGIO1.Ind1.stVal", IEC61850_FC_ST));
    auto t0 = Clock::now();
    for (int i = 0; i < kReads; ++i)
        MmsValue_delete(IedConnection_readObject(con, &err, "BIGLD0/GGIO1.Ind1.stVal", IEC61850_FC_ST));
    double readUs = usSince(t0) / kReads;
    std::printf("read round trip: %.1f us (%.0f reads/s)\n", readUs, 1e6 / readUs);

    // The same sizes as that read on the wire (TPKT to MMS), in a plain TCP ping-pong.
    const double pingUs = tcpPingPongUs(static_cast<size_t>(g_lastSent + kIsoHeaderBytes),
                                        static_cast<size_t>(g_lastReceived + kIsoHeaderBytes), kReads);
    std::printf("read round trip / TCP ping-pong (%.1f us) = %.2f (target <= 1.5)\n", pingUs,
                pingUs > 0 ? readUs / pingUs : 0.0);

    compareBrowses("synthetic IED", sim.port(), 15);
    {
        iecx::sim::SimulatedIed prot;
        prot.load(station, "PROT1");
        if (prot.start("127.0.0.1", 0)) {
            compareBrowses("PROT1", prot.port(), 201);
            // The same servers behind a link of about 0.5 ms round trip.
            DelayedLink toProt(prot.port(), kLinkDelayUs), toSynthetic(sim.port(), kLinkDelayUs);
            compareBrowses("PROT1, 0.5 ms link", toProt.port(), 15);
            compareBrowses("synthetic IED, 0.5 ms link", toSynthetic.port(), 3);
        } else
            std::fprintf(stderr, "cannot start PROT1: %s\n", prot.lastError().c_str());
        prot.stop();
    }

    // Report latency: value change in the simulator to the client's handler.
    Latency latency;
    ClientReportControlBlock rcb = IedConnection_getRCBValues(con, &err, "BIGLD0/LLN0.RP.rcb", nullptr);
    IedConnection_installReportHandler(con, "BIGLD0/LLN0.RP.rcb", "R", &Latency::onReport, &latency);
    ClientReportControlBlock_setRptEna(rcb, true);
    IedConnection_setRCBValues(con, &err, rcb, RCB_ELEMENT_RPT_ENA, true);
    ClientReportControlBlock_destroy(rcb);
    std::vector<double> samples;
    const int kReports = 1000;
    for (int i = 0; i < kReports; ++i) {
        MmsValue* v = MmsValue_newBoolean(i % 2 == 0);
        uint64_t before;
        {
            std::lock_guard<std::mutex> lock(latency.mutex);
            before = latency.count;
        }
        auto start = Clock::now();
        sim.setValue("LD0/GGIO1.Ind1.stVal", v);
        MmsValue_delete(v);
        std::unique_lock<std::mutex> lock(latency.mutex);
        if (!latency.cv.wait_for(lock, std::chrono::seconds(2), [&] { return latency.count > before; })) {
            std::fprintf(stderr, "report %d did not arrive\n", i);
            break;
        }
        samples.push_back(usSince(start));
    }
    if (!samples.empty()) {
        std::sort(samples.begin(), samples.end());
        double median = samples[samples.size() / 2];
        double p99 = samples[samples.size() * 99 / 100];
        std::printf(
            "report latency: median %.1f us, p99 %.1f us (%zu reports); median / read round trip = %.2f\n",
            median, p99, samples.size(), median / readUs);
    }
    IedConnection_destroy(con);
    sim.stop();
    return 0;
}
