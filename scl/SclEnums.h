#pragma once
#include <string>

// Enumerations of the SCL records with their text tables. Every table is indexed by the
// enumerator value and ends with a null entry. Text-to-value conversion is an exact,
// case-sensitive comparison from index 0.
namespace VorIec61850 {

// Functional constraint. The numbering is this library's own (not the client stack's).
enum class tFCEnum : int {
    ST = 0,
    MX,
    CO,
    SP,
    SG,
    SE,
    SV,
    CF,
    DC,
    EX,
    SR,
    BL,
    OR,
    MS,
    BR,
    US,
    RP,
    LG,
    GO,
    NONE // 19
};
extern const char* const tFCEnum_STRING[21];

// SCL basic type (bType).
enum class tBasicTypeEnum : int {
    BOOLEAN = 0,
    INT8,
    INT16,
    INT24,
    INT32,
    INT64,
    INT128,
    INT8U,
    INT16U,
    INT24U,
    INT32U,
    FLOAT32,
    FLOAT64,
    Enum,
    Dbpos,
    Tcmd,
    Quality,
    Timestamp,
    VisString32,
    VisString64,
    VisString129,
    VisString255,
    Octet64,
    Unicode255,
    Struct,
    EntryTime,
    Check,
    ObjRef,
    Currency,
    PhyComAddr,
    TrgOps,
    OptFlds,
    SvOptFlds // 32
};
extern const char* const tBasicTypeEnum_STRING[34];

// MMS data type; same numbering as the MMS client's type codes.
enum class tMmsTypeEnum : int {
    ARRAY = 0,
    STRUCTURE,
    BOOLEAN,
    BIT_STRING,
    INTEGER,
    UNSIGNED,
    FLOAT,
    OCTET_STRING,
    VISIBLE_STRING,
    GENERALIZED_TIME,
    BINARY_TIME,
    BCD,
    OBJ_ID,
    STRING,
    UTC_TIME,
    DATA_ACCESS_ERROR // 15
};
extern const char* const tMmsTypeEnum_STRING[17];

// Sampled Values sample mode.
enum class tSmpMod : int { SmpPerPeriod = 0, SmpPerSec, SecPerSmp };
extern const char* const tSmpMod_STRING[4];

// SCL valKind, in the order of its texts in tValKindEnum_STRING: a value fixed at design time,
// configured, read-only, settable.
enum class tValKindEnum : int { Design = 0, Conf, RO, Set };
extern const char* const tValKindEnum_STRING[5];

// SCL GSEControl type.
enum class tGSEControlTypeEnum : int { GSSE = 0, GOOSE = 1 };
extern const char* const tGSEControlTypeEnum_STRING[3];

// Common data class.
enum class tCDCEnum : int {
    SPS = 0,
    DPS,
    INS,
    ACT,
    ACD,
    SEC,
    BCR,
    MV,
    CMV,
    SAV,
    WYE,
    DEL,
    SEQ,
    HMV,
    HWYE,
    HDEL,
    SPC,
    DPC,
    INC,
    BSC,
    ISC,
    APC,
    SPG,
    ING,
    ASG,
    CURVE,
    DPL,
    LPL,
    CSD,
    ENS,
    ENC,
    ENG,
    CTS,
    UTS,
    BTS,
    LTS,
    OTS,
    GTS,
    MTS,
    NTS,
    STS,
    BAC,
    HST,
    ORG,
    TSG,
    CUG,
    CSD1,
    CSG,
    VSS,
    VSG // 49
};
extern const char* const tCDCEnum_STRING[51];

// Logical node class.
enum class tLNClassEnum : int {
    LPHD = 0,
    LLN0,
    ANCR,
    ARCO,
    ATCC,
    AVCO,
    CILO,
    CSWI,
    CALH,
    CCGR,
    CPOW,
    GAPC,
    GGIO,
    GSAL,
    IHMI,
    IARC,
    ITCI,
    ITMI,
    MMXU,
    MDIF,
    MHAI,
    MHAN,
    MMTR,
    MMXN,
    MSQI,
    MSTA,
    PDIF,
    PDIS,
    PDIR,
    PDOP,
    PDUP,
    PFRC,
    PHAR,
    PHIZ,
    PIOC,
    PMRI,
    PMSS,
    POPF,
    PPAM,
    PSCH,
    PSDE,
    PTEF,
    PTOC,
    PTOF,
    PTOV,
    PTRC,
    PTTR,
    PTUC,
    PTUV,
    PUPF,
    PTUF,
    PVOC,
    PVPH,
    PZSU,
    RSYN,
    RDRE,
    RADR,
    RBDR,
    RDRS,
    RBRF,
    RDIR,
    RFLO,
    RPSB,
    RREC,
    SARC,
    SIMG,
    SIML,
    SPDC,
    TCTR,
    TVTR,
    XCBR,
    XSWI,
    YPTR,
    YEFN,
    YLTC,
    YPSH,
    ZAXN,
    ZBAT,
    ZBSH,
    ZCAB,
    ZCAP,
    ZCON,
    ZGEN,
    ZGIL,
    ZLIN,
    ZMOT,
    ZREA,
    ZRRC,
    ZSAR,
    ZTCF,
    ZTCR // 90
};
extern const char* const tLNClassEnum_STRING[92];

// Index of text in a null-terminated table, or -1 when absent (exact comparison).
int sclTableIndex(const char* const* table, const std::string& text);

// Text-to-value conversions of the SCL reader.
tFCEnum fcFromString(const std::string& text);                         // empty/unknown -> NONE
tBasicTypeEnum basicTypeFromString(const std::string& text);           // unknown -> BOOLEAN (index 0)
tSmpMod smpModFromString(const std::string& text);                     // unknown -> SmpPerPeriod
tValKindEnum valKindFromString(const std::string& text);               // an unknown text -> Set
tGSEControlTypeEnum gseControlTypeFromString(const std::string& text); // upper-cased "GOOSE" -> GOOSE
bool sclBoolFromString(const std::string& text);                       // lower-cased "true" -> true
tCDCEnum cdcFromString(const std::string& text);                       // unknown -> SPS
tLNClassEnum lnClassFromString(const std::string& text);               // unknown -> LPHD
tMmsTypeEnum mmsTypeFromString(const std::string& text);               // unknown -> BOOLEAN

// Value-to-text conversions. The FC NONE is written as an empty text.
std::string toString(tFCEnum value);
std::string toString(tBasicTypeEnum value);
std::string toString(tMmsTypeEnum value);
std::string toString(tSmpMod value);
std::string toString(tValKindEnum value);
std::string toString(tGSEControlTypeEnum value);
std::string toString(tCDCEnum value);
std::string toString(tLNClassEnum value);

// MMS type that carries a value of the given basic type: integers and Enum -> INTEGER,
// unsigned -> UNSIGNED, floats -> FLOAT, Struct -> STRUCTURE, BOOLEAN -> BOOLEAN, the rest
// (and anything above Struct) -> BIT_STRING.
tMmsTypeEnum relevantMmsType(tBasicTypeEnum bType);

} // namespace VorIec61850
