#pragma once
// MMS named variable list management: DefineNamedVariableList and DeleteNamedVariableList
// requests and responses (data sets created and deleted by clients).
#include "stack/src/mms/MmsBer.h"
#include "stack/src/mms/MmsPdu.h"

#include <vector>

namespace stack {
namespace mms {

constexpr uint32_t ServiceDefineNamedVariableList = 11;
constexpr uint32_t ServiceDeleteNamedVariableList = 13;

void encodeDefineNamedVariableListRequest(ber::Writer& w, uint32_t invokeId, const ObjectName& listName,
                                          const std::vector<ObjectName>& members);
bool decodeDefineNamedVariableListRequest(const ber::Tlv& service, ObjectName& listName,
                                          std::vector<ObjectName>& members);
void encodeDefineNamedVariableListResponse(ber::Writer& w, uint32_t invokeId);

// Deletes the one list `listName` (scope "specific").
void encodeDeleteNamedVariableListRequest(ber::Writer& w, uint32_t invokeId, const ObjectName& listName);
// The names of a "specific" delete; false for other scopes and malformed requests.
bool decodeDeleteNamedVariableListRequest(const ber::Tlv& service, std::vector<ObjectName>& listNames);
void encodeDeleteNamedVariableListResponse(ber::Writer& w, uint32_t invokeId, uint32_t matched,
                                           uint32_t deleted);
bool decodeDeleteNamedVariableListResponse(const ber::Tlv& service, uint32_t& matched, uint32_t& deleted);

} // namespace mms
} // namespace stack
