#pragma once
// What a browse asks the server before it gets there. A program that walks the model (server
// directory, then each logical device and each logical node in turn) spends most of its time
// waiting for answers; asking the next ones while it works on the current one keeps the server
// busy meanwhile. Requests asked ahead use the association's spare slots, always leaving one
// free for the program's other threads, go out together in one write, and are each answered
// once: a full browse sends the same requests as one that asks as it goes.
#include "stack/src/mms/client/IedConnectionInternal.h"

#include <memory>
#include <string>
#include <vector>

namespace stack {
namespace mms {

// The GetVariableAccessAttributes request of logical node `ln` of `domain` (both must outlive
// the encoder).
MmsClient::Encoder typeRequest(const std::string& domain, const std::string& ln);

// After the server directory: its logical devices, in the order a browser walks them.
void rememberDevices(IedConnection self, const std::vector<std::string>& devices);
// The variable names of `domain` from an answer asked ahead by the walk through the device
// before, its further pages read now; false when none was asked ahead or it failed, and the
// caller asks the server itself. Each answer asked ahead is handed out once.
bool takeNamesAsked(IedConnection self, const std::string& domain,
                    std::shared_ptr<const std::vector<std::string>>& names);

// After a logical device directory: asks for the types of its first logical nodes.
void askTypesAhead(IedConnection self, const std::string& domain);
// While a walk is at logical node `ln`: asks for the types of the logical nodes that follow it
// in its device. Near the end of the device it goes on with the next device of the server
// directory: the first page of its names, then the types of its first logical nodes.
void askAheadOf(IedConnection self, const std::string& domain, const std::string& ln);
// The type request asked ahead for "LD/LN" `key`, taken out of the list; false when there is none.
bool takeTypeRequest(IedConnection self, const std::string& key, uint32_t& id);

} // namespace mms
} // namespace stack
