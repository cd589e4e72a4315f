#pragma once
// MMS server engine: a TCP acceptor that runs the responder side of the ISO-on-TCP layers
// (TPKT, COTP class 0, session, presentation, ACSE) and decodes MMS requests, handing them to
// an application-supplied MmsServerHandler. Used by the simulated IED; not part of the C API.
//
// Threads: one acceptor thread per server and one thread per accepted connection. Handler
// methods are called on the connection threads, so calls for different connections can run
// at the same time; a handler whose state is shared must lock it. Calls for one connection are
// strictly sequential (one request is answered before the next is decoded).
#include "mms_common.h"
#include "stack/src/mms/MmsTypes.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef struct sMmsValue MmsValue;

namespace stack {
namespace mms {

// One association with a client. Handed to the handler with every request, and by
// connectionOpened/connectionClosed, as a shared pointer that stays usable (as a dead handle)
// after the connection ended.
class MmsServerConnection {
public:
    virtual ~MmsServerConnection() = default;

    // Unique per server, counting from 1.
    virtual uint64_t id() const = 0;
    // Peer address as "a.b.c.d:port".
    virtual std::string peerAddress() const = 0;
    virtual bool isOpen() const = 0;

    // Sends an unconfirmed InformationReport that names as its variables the VMD-specific
    // named variable list `listName` (reports of IEC 61850 use "RPT") and whose
    // access results are `values` in order. A value of type MMS_DATA_ACCESS_ERROR becomes a
    // failure result, every other value a success with that data. Null entries are not allowed.
    // The values are only read during the call. Thread-safe: may be called from any thread,
    // also from inside a handler method. Returns false when the connection is closed, the
    // encoded PDU exceeds the negotiated maximum PDU size, or sending fails.
    virtual bool sendInformationReport(const std::string& listName,
                                       const std::vector<const MmsValue*>& values) = 0;
    // The same naming a list of variables (one per value), as
    // control services report LastApplError and command terminations.
    virtual bool sendInformationReport(const std::vector<ObjectName>& variables,
                                       const std::vector<const MmsValue*>& values) = 0;

    // Closes the TCP connection (connectionClosed follows on the connection thread).
    virtual void close() = 0;
};

using MmsServerConnectionPtr = std::shared_ptr<MmsServerConnection>;

// The application side of the server. Every method has the connection the request came on.
class MmsServerHandler {
public:
    virtual ~MmsServerHandler() = default;

    // After the association has been accepted (MMS initiate answered), before any request.
    virtual void connectionOpened(const MmsServerConnectionPtr& /*connection*/) {}
    // Once per opened connection, when it ended for any reason (peer closed, abort, server
    // stop, malformed input). No request of this connection is in progress any more.
    virtual void connectionClosed(const MmsServerConnectionPtr& /*connection*/) {}

    virtual ServerIdentity identify(MmsServerConnection& /*connection*/) { return ServerIdentity(); }

    // GetNameList. `domain` is empty for ObjectClass::Domain (VMD scope: the logical device
    // names) and names the domain for the other classes. Fill `names` with the complete list in
    // the order the server presents it and return true; return false when the domain does not
    // exist (answered with a definition/object-undefined error). The engine applies the
    // client's continue-after name and splits long lists into several responses itself.
    //
    // For IEC 61850 clients the NamedVariable list of a logical device must contain every MMS
    // variable path of every logical node, depth first, FCs of a node in alphabetical order:
    //   LLN0, LLN0$BR, LLN0$BR$brcb1, LLN0$BR$brcb1$RptID, ..., LLN0$ST, LLN0$ST$Mod,
    //   LLN0$ST$Mod$stVal, LLN0$ST$Mod$q, LLN0$ST$Mod$t, ...
    // The client derives logical nodes, data objects, attributes and control blocks from it.
    // NamedVariableList names are "LLN0$DataSet1". A domain without journals answers Journal
    // with an empty list.
    virtual bool getNameList(MmsServerConnection& connection, ObjectClass objectClass,
                             const std::string& domain, std::vector<std::string>& names) = 0;

    // Read and write name whole variables: the engine serves an alternate access (an array element
    // or a component) itself, reading the whole value and selecting the part with the variable's
    // type from getVariableAccessAttributes, and writing a part as the whole value with that part
    // replaced.
    //
    // Read of one named variable. Return a new value that the engine deletes after encoding
    // (MmsValue_delete), a new MMS_DATA_ACCESS_ERROR value to answer a failure, or nullptr for
    // an object that does not exist (answered as object-non-existent).
    virtual MmsValue* readVariable(MmsServerConnection& connection, const ObjectName& name) = 0;

    // Write of one named variable; `value` is owned by the engine and only valid during the
    // call. Return DATA_ACCESS_ERROR_SUCCESS when the write succeeded, otherwise the error
    // code to answer. Writes of one request arrive one by one in request order.
    virtual MmsDataAccessError writeVariable(MmsServerConnection& connection, const ObjectName& name,
                                             const MmsValue* value) = 0;

    // Type of a named variable. The handler keeps ownership; the pointer must stay valid while
    // the handler exists (build the type descriptions with the model and hand out pointers into
    // them, e.g. the node found for "GGIO1$ST$Ind1"). The root's name is not sent. nullptr:
    // object-non-existent, the default (a server without type descriptions).
    virtual const MmsVariableSpecification* getVariableAccessAttributes(MmsServerConnection& /*connection*/,
                                                                        const ObjectName& /*name*/) {
        return nullptr;
    }

    // Members of a named variable list (data set), in order. Return false when the list does
    // not exist (the default: a server without data sets). A read of a named variable list is
    // answered by the engine as getNamedVariableListAttributes followed by readVariable for each
    // member.
    virtual bool getNamedVariableListAttributes(MmsServerConnection& /*connection*/,
                                                const ObjectName& /*listName*/,
                                                std::vector<ObjectName>& /*members*/, bool& /*deletable*/) {
        return false;
    }

    // DefineNamedVariableList. true when defined; otherwise false with the confirmed error to
    // answer: the ServiceError class (2 definition, 3 resource, 7 access, ...) and its code
    // (e.g. 2/5 object-exists, 2/1 object-undefined). The default refuses every definition.
    virtual bool defineNamedVariableList(MmsServerConnection& /*connection*/, const ObjectName& /*listName*/,
                                         const std::vector<ObjectName>& /*members*/, uint32_t& errorClass,
                                         int32_t& code) {
        errorClass = 4; // service
        code = 0;       // other
        return false;
    }
    // DeleteNamedVariableList of one list: `matched` when it exists; true when it was deleted.
    virtual bool deleteNamedVariableList(MmsServerConnection& /*connection*/, const ObjectName& /*listName*/,
                                         bool& matched) {
        matched = false;
        return false;
    }

    // After the response to a request has been sent (on the connection thread): the place for
    // reports that must follow the response, such as a command termination.
    virtual void responseSent(MmsServerConnection& /*connection*/) {}
};

struct MmsServerOptions {
    // Largest MMS PDU the server accepts and sends (negotiated down to the client's value).
    uint32_t maxPduSize = 65000;
    // Further connections are refused (closed right after accept) beyond this count.
    int maxConnections = 32;
    // A connection silent for this long during association set-up is closed.
    int associationTimeoutMs = 10000;
    // Not empty: an association must present this password (ACSE password authentication),
    // others are rejected.
    std::string password;
};

class MmsServerImpl;

class MmsServer {
public:
    explicit MmsServer(MmsServerHandler& handler, MmsServerOptions options = MmsServerOptions());
    ~MmsServer(); // stops the server
    MmsServer(const MmsServer&) = delete;
    MmsServer& operator=(const MmsServer&) = delete;

    // Binds to bindAddress (dotted IPv4, e.g. "127.0.0.1" or "0.0.0.0") and port (0 picks a free
    // port; see port()), listens and starts the acceptor thread. Returns false, with a message
    // in lastError(), when the address cannot be bound or the server is already running.
    bool start(const std::string& bindAddress, uint16_t port);
    // Closes the listening socket and every connection and joins all threads; the handler's
    // connectionClosed runs for each open connection before stop() returns. Idempotent.
    void stop();
    bool isRunning() const;
    uint16_t port() const;
    std::string lastError() const;

    // Snapshot of the open connections.
    std::vector<MmsServerConnectionPtr> connections() const;

private:
    std::unique_ptr<MmsServerImpl> _impl;
};

} // namespace mms
} // namespace stack
