#pragma once
// A bare server engine with long answers, for the client tests.
#include "iec61850_client.h"
#include "stack/src/mms/server/MmsServer.h"
#include "support/IedClient.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

namespace mmstest {

using iecx::test::Strings;
using iecx::test::toVector;
using stack::mms::MmsServer;
using stack::mms::MmsServerConnection;
using stack::mms::ObjectClass;
using stack::mms::ObjectName;

// A server with long answers: 5000 variable names (several GetNameList pages) and a 60000
// character string for every read (an MMS PDU spread over many COTP segments). Counts the
// associations it accepted.
class LargeAnswers : public stack::mms::MmsServerHandler {
public:
    std::atomic<int> opened{0};
    void connectionOpened(const stack::mms::MmsServerConnectionPtr&) override { ++opened; }
    bool getNameList(MmsServerConnection&, ObjectClass cls, const std::string&, Strings& names) override {
        if (cls == ObjectClass::Domain) {
            names.push_back("BIG");
            return true;
        }
        for (int i = 0; i < 5000; ++i)
            names.push_back("GGIO" + std::to_string(i) + "$ST$SomeDataObjectName");
        return true;
    }
    MmsValue* readVariable(MmsServerConnection&, const ObjectName&) override {
        return MmsValue_newVisibleString(std::string(60000, 'x').c_str());
    }
    MmsDataAccessError writeVariable(MmsServerConnection&, const ObjectName&,
                                     const MmsValue* value) override {
        return MmsValue_getStringSize(value) == 30000 ? DATA_ACCESS_ERROR_SUCCESS
                                                      : DATA_ACCESS_ERROR_OBJECT_VALUE_INVALID;
    }
};

} // namespace mmstest
