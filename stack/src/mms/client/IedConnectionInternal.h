#pragma once
// Internals shared by the IedConnection implementation files.
#include "iec61850_client.h"
#include "stack/src/mms/client/MmsClient.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

struct sClientReport;
struct sControlObjectClient;

namespace stack {
namespace mms {

struct ReportSubscription {
    std::string rcbReference;
    std::string rptId;
    ReportCallbackFunction handler = nullptr;
    void* parameter = nullptr;
    std::unique_ptr<sClientReport, void (*)(sClientReport*)> report{nullptr, nullptr};
};

// Maps MMS errors and data access errors to client error codes.
IedClientError toIedError(MmsError error);
IedClientError toIedError(MmsDataAccessError error);

// "LD/rest": splits at the first '/'. False (no crash) for NULL, a missing '/', or an empty part.
bool splitReference(const char* reference, std::string& domain, std::string& rest);
// The same without copies: the parts point into `reference`.
bool splitReference(const char* reference, std::string_view& domain, std::string_view& rest);
// "LN.DO.DA" with FC ST gives "LN$ST$DO$DA"; "LN" gives "LN$ST".
std::string toMmsItem(const std::string& rest, FunctionalConstraint fc);
// Replaces every '.' by '$'.
std::string dotsToDollars(std::string text);
// "LN$FC$DO$DA" in domain LD gives "LD/LN.DO.DA[FC]".
std::string toObjectReference(const std::string& domain, const std::string& item);
// The same with the name's alternate access: "LD/LN.DO.DA(10).cVal.mag[FC]".
std::string toObjectReference(const ObjectName& name);
// The variable an item id names, an array index in it ("LN$FC$DO$DA(10)$cVal") becoming the
// alternate access. false for a malformed index.
bool toVariableName(const std::string& domain, const std::string& item, ObjectName& name);

// Data set reference ("LD/LN.name", "LD/LN$name" or "@name") to its list name; false when
// malformed.
bool toDataSetName(const char* reference, ObjectName& name);
// "LD/LN.DO.DA[FC]" to its variable name; false when malformed.
bool toVariableName(const char* reference, ObjectName& name);

char* copyString(std::string_view text);
// Stores a client error where the caller asked for it (error may be NULL).
inline void setError(IedClientError* error, IedClientError value) {
    if (error != nullptr)
        *error = value;
}
// Ends an entry point whose body threw: the caller gets IED_ERROR_UNKNOWN and an empty result,
// so no exception crosses into C.
inline std::nullptr_t unknownFailure(IedClientError* error) {
    setError(error, IED_ERROR_UNKNOWN);
    return nullptr;
}
LinkedList toLinkedList(const std::vector<std::string>& names);
// The component names of a structure type as a list (empty for other types).
LinkedList componentList(const MmsVariableSpecification* typeDesc);

} // namespace mms
} // namespace stack

struct sIedConnection {
    sMmsConnection mms;
    std::atomic<int> state{IED_STATE_CLOSED};
    // The association ended without a close by the user: calls answer CONNECTION_LOST until the
    // next connect or close.
    std::atomic<bool> lost{false};

    std::mutex stateHandlerMutex;
    IedConnection_StateChangedHandler stateHandler = nullptr;
    void* stateParameter = nullptr;
    // Stores the state and tells the state handler when it changed.
    void setState(IedConnectionState newState);
    // The error of a call made while not connected.
    IedClientError notConnectedError() const {
        return lost.load() ? IED_ERROR_CONNECTION_LOST : IED_ERROR_NOT_CONNECTED;
    }
    // The error of a call that finds the MMS connection down. Down while the state still says
    // connected (no close by the user) is a loss, even before the receive thread reports it:
    // marks it, so that every later call answers CONNECTION_LOST too.
    IedClientError disconnectedError();
    // Ends the established association: with `release` an orderly release the server answers,
    // else an abort. The error of a connection that is not established.
    IedClientError endAssociation(bool release);

    std::recursive_mutex reportMutex; // held while a report handler runs
    std::vector<std::shared_ptr<stack::mms::ReportSubscription>> reports;

    // Variable names per logical device, valid for the current association only: filled when
    // a logical device directory is asked for (always from the server), reused by the finer
    // directory services, dropped on connect and close.
    std::mutex cacheMutex;
    // Variable names per domain, shared with the directory calls that read them.
    std::map<std::string, std::shared_ptr<const std::vector<std::string>>> variableCache;
    // Type description of each logical node ("LD/LN"), one GetVariableAccessAttributes per
    // logical node and association: the data, data attribute and FC directories and the variable
    // type descriptions are answered from it.
    std::map<std::string, std::shared_ptr<const MmsVariableSpecification>> typeCache;
    // The entry of typeCache found last, looked at first by the next call.
    std::pair<std::string, std::shared_ptr<const MmsVariableSpecification>> lastType;
    // Requests sent ahead of a walk and not taken yet: their invoke id and when they were sent.
    struct AheadRequest {
        uint32_t invokeId;
        std::chrono::steady_clock::time_point sent;
    };
    // Type requests of logical nodes ("LD/LN").
    std::map<std::string, AheadRequest> typeRequests;
    // First pages of logical devices' variable names, asked when the server directory is listed
    // or when a walk nears the end of the device before.
    std::map<std::string, AheadRequest> nameRequests;
    // The first pages of variable names read from answers asked ahead, not handed out yet by a
    // logical device directory (which reads the pages that follow, if any).
    struct AheadNames {
        std::shared_ptr<std::vector<std::string>> names;
        bool more = false;
    };
    std::map<std::string, AheadNames> aheadLists;
    // The logical devices of the last server directory, in the server's order.
    std::vector<std::string> devices;
    // Where in its device's variable names the last walk asked ahead from: (device, index).
    std::pair<std::string, size_t> walkedTo;
    void clearCache() {
        std::lock_guard<std::mutex> lock(cacheMutex);
        variableCache.clear();
        typeCache.clear();
        lastType = {};
        for (const auto* requests : {&typeRequests, &nameRequests})
            for (const auto& r : *requests)
                mms.abandon(r.second.invokeId);
        typeRequests.clear();
        nameRequests.clear();
        aheadLists.clear();
        devices.clear();
        walkedTo = {};
    }

    std::mutex closedMutex;
    IedConnectionClosedHandler closedHandler = nullptr;
    void* closedParameter = nullptr;

    // Maps the MMS error of a service to the client error, noticing a lost connection.
    IedClientError finish(MmsError error);
    // Runs a confirmed request; maps "not connected" and the MMS errors to client errors.
    IedClientError request(const stack::mms::MmsClient::Encoder& encode, stack::mms::Response& response);
    // All names of an object class in a domain (or the domains, with an empty domain), asked
    // from the server page by page.
    IedClientError getNameList(stack::mms::ObjectClass cls, const std::string& domain,
                               std::vector<std::string>& names);
    // Reads one variable; the value (or nullptr) is the caller's. A data access error the server
    // answers is an error, or with accessErrorAsValue an MMS_DATA_ACCESS_ERROR value and OK.
    IedClientError readVariable(const std::string& domain, const std::string& item, MmsValue*& value,
                                bool accessErrorAsValue = false);

    void onReport(stack::mms::VariableAccess& access, std::vector<MmsValue*>& values);

    // Control objects of this connection; held while their handlers run.
    std::recursive_mutex controlMutex;
    std::vector<sControlObjectClient*> controls;
    // LastApplError and command termination reports (a list of named variables).
    void onControlReport(stack::mms::VariableAccess& access, std::vector<MmsValue*>& values);
};
