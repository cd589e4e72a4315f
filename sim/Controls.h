#pragma once
// Controls of the simulated IED: every data object of the model that has an Oper structure
// (FC CO) is served with the ctlModel of its CF attribute (status-only, direct or
// select-before-operate, normal or enhanced security). The position follows the operate
// (stVal and t of the object, so reports and GOOSE follow); refusals are reported with a
// LastApplError information report before the negative write response; enhanced security ends
// each operate with a command termination sent after the write response. Selections expire
// after sboTimeout (CF, default 30 s) and end with the association.
#include "iec61850_common.h"
#include "sim/Model.h"
#include "stack/src/mms/server/MmsServer.h"

#include <chrono>
#include <map>
#include <mutex>
#include <vector>

namespace iecx::sim {

class ControlEngine {
public:
    explicit ControlEngine(Model& model);

    // true for the SBO, Oper, SBOw and Cancel attributes of a controllable object.
    bool handles(const ModelNode* node) const;
    // Read of SBO: selects (sbo-normal) and answers the object reference, or "" when refused.
    MmsValue* read(stack::mms::MmsServerConnection& connection, const ModelNode* node);
    // Write of Oper, SBOw or Cancel.
    MmsDataAccessError write(stack::mms::MmsServerConnection& connection, const ModelNode* node,
                             const MmsValue* value);
    // Sends the command terminations due on this connection.
    void responseSent(stack::mms::MmsServerConnection& connection);
    void connectionClosed(uint64_t connection);

    size_t controlCount() const { return _controls.size(); }

private:
    using Clock = std::chrono::steady_clock;
    struct Control {
        ModelNode* co = nullptr;     // the data object under CO
        ModelNode* stVal = nullptr;  // ST
        ModelNode* t = nullptr;      // ST
        ModelNode* stSeld = nullptr; // ST, optional
        ModelNode* ctlModel = nullptr;
        ModelNode* sboTimeout = nullptr;
        uint64_t selectedBy = 0; // connection id, 0: not selected
        Clock::time_point selectEnd;
    };
    struct Refusal {
        ControlAddCause cause;
        MmsDataAccessError error;
    };
    struct Termination {
        stack::mms::ObjectName oper;
        MmsValue* value; // the Oper written
    };

    Control* _control(const ModelNode* node, std::string& attribute);
    ControlModel _modelOf(const Control& c) const;
    bool _selectedBy(Control& c, uint64_t connection);
    void _select(Control& c, uint64_t connection);
    void _deselect(Control& c);
    bool _execute(Control& c, const MmsValue* ctlVal);
    void _sendLastApplError(stack::mms::MmsServerConnection& connection, const Control& c,
                            const std::string& attribute, const MmsValue* command, ControlAddCause cause);

    Model& _model;
    std::map<const ModelNode*, Control> _controls; // by the CO data object
    std::mutex _mutex;                             // selections and pending terminations
    std::map<uint64_t, std::vector<Termination>> _terminations;
};

} // namespace iecx::sim
