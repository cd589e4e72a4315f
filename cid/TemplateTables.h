#pragma once
// The fixed data type templates of the written CID documents, as tables shared by the GOOSE
// builders (which write them straight into the XML tree) and the SV writer (which fills SCL
// records from them). Texts are those written into the GOOSE document; the SV writer maps them
// onto its enumerations.
#include <cstddef>

namespace VorIec61850 {
namespace CidTemplates {

// One DA row of a data object type. Null `type` or `val` means "none"; `dchg` true writes
// dchg="true" (GOOSE) and dchg="true" instead of "false" (SV).
struct DaRow {
    const char* name;
    const char* bType;
    const char* type;
    bool dchg;
    const char* fc;
    const char* val;
};

// One BDA row of a data attribute type.
struct BdaRow {
    const char* name;
    const char* bType;
    const char* type;
    const char* val;
};

// One enumeration value: `text` null means the value has no text node; `desc` is the GOOSE
// document's EnumVal desc.
struct EnumRow {
    int ord;
    const char* text;
    const char* desc;
};

// Rows of the ten data object types, in the order they are written.
extern const DaRow kNamPltLn0Das[4];
extern const DaRow kModDas[4];
extern const DaRow kBehDas[3];
extern const DaRow kHealthDas[3];
extern const DaRow kPhyNamDas[5];
extern const DaRow kProxyDas[3];
extern const DaRow kAmpSvDas[4];
extern const DaRow kVolSvDas[4];
extern const DaRow kSpcsoDas[4];
extern const DaRow kDpcsoDas[4];

extern const BdaRow kAmpScaledBdas[2];
extern const BdaRow kVolScaledBdas[2];
extern const BdaRow kAmpUnitsBdas[1];
extern const BdaRow kVolUnitsBdas[1];
extern const BdaRow kAnalogueValueBdas[1];

extern const EnumRow kModValues[5];
extern const EnumRow kHealthValues[3];
extern const EnumRow kCtlModelValues[5];
extern const EnumRow kBooleanValues[2];
extern const EnumRow kDbposValues[4];
extern const EnumRow kItsiUnitValues[4];
// The SV document's "Beh" enumeration differs from "Mod" in its second value.
extern const EnumRow kSvBehValues[5];

extern const char* const kItsiUnitDesc;

template <typename T, std::size_t N> constexpr std::size_t countOf(const T (&)[N]) {
    return N;
}

} // namespace CidTemplates
} // namespace VorIec61850
