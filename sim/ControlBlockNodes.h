#pragma once
// MMS structures of report and GOOSE control blocks (the RP, BR and GO components of a
// logical node) built from their SCL definitions.
#include "sim/Model.h"

#include <memory>
#include <string>

namespace iecx::sim {

// "LLN0$RP$urcbA01": RptID, RptEna, Resv, DatSet, ConfRev, OptFlds, BufTm, SqNum, TrgOps, IntgPd,
// GI. Buffered ("LLN0$BR$..."): RptID, RptEna, DatSet, ConfRev, OptFlds, BufTm, SqNum, TrgOps,
// IntgPd, GI, PurgeBuf, EntryID, TimeofEntry, ResvTms.
std::unique_ptr<ModelNode> buildReportControlNode(const ReportControlDef& def, const Domain& domain,
                                                  uint64_t nowMs);

// "LLN0$GO$gcb01": GoEna, GoID, DatSet, ConfRev, NdsCom, DstAddress (Addr, PRIORITY, VID, APPID),
// MinTime, MaxTime, FixedOffs.
std::unique_ptr<ModelNode> buildGooseControlNode(const GooseControlDef& def, const Domain& domain);

// Structure type of a PhyComAddr: Addr (6 octets), PRIORITY, VID, APPID.
MmsVariableSpecification* phyComAddrDesc();

// One P element of a GSE or SMV address ("MAC-Address", "APPID", "VLAN-ID", "VLAN-PRIORITY").
void applyAddressParameter(GooseControlDef& def, const std::string& type, const std::string& text);
void applyAddressParameter(SvControlDef& def, const std::string& type, const std::string& text);

} // namespace iecx::sim
