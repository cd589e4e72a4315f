#pragma once
// The simulated IED's answers to MMS requests: name lists, reads, writes, variable types and
// data set members from the model; control block writes go to the report and GOOSE engines,
// control objects to the control engine; client-defined data sets are kept here.
#include "sim/ClientDataSets.h"
#include "sim/Controls.h"
#include "sim/GoosePublishing.h"
#include "sim/Model.h"
#include "sim/Reports.h"
#include "stack/src/mms/server/MmsServer.h"

#include <atomic>
#include <map>
#include <mutex>

namespace iecx::sim {

class SimServerHandler : public stack::mms::MmsServerHandler {
public:
    SimServerHandler(Model& model, ReportEngine& reports, GoosePublishing& goose);

    void connectionOpened(const stack::mms::MmsServerConnectionPtr& connection) override;
    void connectionClosed(const stack::mms::MmsServerConnectionPtr& connection) override;
    stack::mms::ServerIdentity identify(stack::mms::MmsServerConnection& connection) override;
    bool getNameList(stack::mms::MmsServerConnection& connection, stack::mms::ObjectClass objectClass,
                     const std::string& domain, std::vector<std::string>& names) override;
    MmsValue* readVariable(stack::mms::MmsServerConnection& connection,
                           const stack::mms::ObjectName& name) override;
    MmsDataAccessError writeVariable(stack::mms::MmsServerConnection& connection,
                                     const stack::mms::ObjectName& name, const MmsValue* value) override;
    const MmsVariableSpecification* getVariableAccessAttributes(stack::mms::MmsServerConnection& connection,
                                                                const stack::mms::ObjectName& name) override;
    bool getNamedVariableListAttributes(stack::mms::MmsServerConnection& connection,
                                        const stack::mms::ObjectName& listName,
                                        std::vector<stack::mms::ObjectName>& members,
                                        bool& deletable) override;
    bool defineNamedVariableList(stack::mms::MmsServerConnection& connection,
                                 const stack::mms::ObjectName& listName,
                                 const std::vector<stack::mms::ObjectName>& members, uint32_t& errorClass,
                                 int32_t& code) override;
    bool deleteNamedVariableList(stack::mms::MmsServerConnection& connection,
                                 const stack::mms::ObjectName& listName, bool& matched) override;
    void responseSent(stack::mms::MmsServerConnection& connection) override;

    // Number of requests answered (reads, writes, name lists, types, list attributes).
    uint64_t requestCount() const { return _requests.load(); }
    size_t openConnections() const;

private:
    Model& _model;
    ReportEngine& _reports;
    GoosePublishing& _goose;
    // Name lists of each domain, built once: the tree never changes shape.
    std::map<std::string, std::vector<std::string>> _variableNames;
    mutable std::mutex _connectionsMutex;
    std::map<uint64_t, stack::mms::MmsServerConnectionPtr> _connections;
    std::atomic<uint64_t> _requests{0};
    ClientDataSets _clientDataSets;
    ControlEngine _controls;

    ModelNode* _find(const stack::mms::ObjectName& name) const;
};

} // namespace iecx::sim
