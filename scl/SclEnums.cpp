#include "scl/SclEnums.h"

#include <cctype>
#include <cstring>

namespace VorIec61850 {

const char* const tFCEnum_STRING[21] = {"ST", "MX", "CO", "SP", "SG", "SE", "SV", "CF", "DC",   "EX",   "SR",
                                        "BL", "OR", "MS", "BR", "US", "RP", "LG", "GO", "NONE", nullptr};

const char* const tBasicTypeEnum_STRING[34] = {
    "BOOLEAN",      "INT8",       "INT16",      "INT24",     "INT32",       "INT64",       "INT128",
    "INT8U",        "INT16U",     "INT24U",     "INT32U",    "FLOAT32",     "FLOAT64",     "Enum",
    "Dbpos",        "Tcmd",       "Quality",    "Timestamp", "VisString32", "VisString64", "VisString129",
    "VisString255", "Octet64",    "Unicode255", "Struct",    "EntryTime",   "Check",       "ObjRef",
    "Currency",     "PhyComAddr", "TrgOps",     "OptFlds",   "SvOptFlds",   nullptr};

const char* const tMmsTypeEnum_STRING[17] = {
    "ARRAY",  "STRUCTURE",    "BOOLEAN",        "BIT_STRING",        "INTEGER",     "UNSIGNED",
    "FLOAT",  "OCTET_STRING", "VISIBLE_STRING", "GENERALIZED_TIME",  "BINARY_TIME", "BCD",
    "OBJ_ID", "STRING",       "UTC_TIME",       "DATA_ACCESS_ERROR", nullptr};

const char* const tSmpMod_STRING[4] = {"SmpPerPeriod", "SmpPerSec", "SecPerSmp", nullptr};

const char* const tValKindEnum_STRING[5] = {"Spec", "Conf", "RO", "Set", nullptr};

const char* const tGSEControlTypeEnum_STRING[3] = {"GSSE", "GOOSE", nullptr};

const char* const tCDCEnum_STRING[51] = {
    "SPS", "DPS",  "INS",  "ACT", "ACD", "SEC", "BCR", "MV",   "CMV", "SAV", "WYE", "DEL",  "SEQ",
    "HMV", "HWYE", "HDEL", "SPC", "DPC", "INC", "BSC", "ISC",  "APC", "SPG", "ING", "ASG",  "CURVE",
    "DPL", "LPL",  "CSD",  "ENS", "ENC", "ENG", "CTS", "UTS",  "BTS", "LTS", "OTS", "GTS",  "MTS",
    "NTS", "STS",  "BAC",  "HST", "ORG", "TSG", "CUG", "CSD1", "CSG", "VSS", "VSG", nullptr};

const char* const tLNClassEnum_STRING[92] = {
    "LPHD", "LLN0", "ANCR", "ARCO", "ATCC", "AVCO", "CILO", "CSWI", "CALH", "CCGR", "CPOW", "GAPC",
    "GGIO", "GSAL", "IHMI", "IARC", "ITCI", "ITMI", "MMXU", "MDIF", "MHAI", "MHAN", "MMTR", "MMXN",
    "MSQI", "MSTA", "PDIF", "PDIS", "PDIR", "PDOP", "PDUP", "PFRC", "PHAR", "PHIZ", "PIOC", "PMRI",
    "PMSS", "POPF", "PPAM", "PSCH", "PSDE", "PTEF", "PTOC", "PTOF", "PTOV", "PTRC", "PTTR", "PTUC",
    "PTUV", "PUPF", "PTUF", "PVOC", "PVPH", "PZSU", "RSYN", "RDRE", "RADR", "RBDR", "RDRS", "RBRF",
    "RDIR", "RFLO", "RPSB", "RREC", "SARC", "SIMG", "SIML", "SPDC", "TCTR", "TVTR", "XCBR", "XSWI",
    "YPTR", "YEFN", "YLTC", "YPSH", "ZAXN", "ZBAT", "ZBSH", "ZCAB", "ZCAP", "ZCON", "ZGEN", "ZGIL",
    "ZLIN", "ZMOT", "ZREA", "ZRRC", "ZSAR", "ZTCF", "ZTCR", nullptr};

int sclTableIndex(const char* const* table, const std::string& text) {
    for (int i = 0; table[i] != nullptr; ++i)
        if (text == table[i])
            return i;
    return -1;
}

namespace {

template <typename E> E fromTable(const char* const* table, const std::string& text, E fallback) {
    const int i = sclTableIndex(table, text);
    return i < 0 ? fallback : static_cast<E>(i);
}

template <typename E, std::size_t N> std::string tableText(const char* const (&table)[N], E value) {
    const auto i = static_cast<int>(value);
    if (i < 0 || static_cast<std::size_t>(i) + 1 >= N)
        return std::string();
    return table[i];
}

} // namespace

tFCEnum fcFromString(const std::string& text) {
    return fromTable(tFCEnum_STRING, text, tFCEnum::NONE);
}

tBasicTypeEnum basicTypeFromString(const std::string& text) {
    // "TimeStamp" is how the test set's own CID files have always spelt the time stamp type
    // (the schema's name is "Timestamp"); both mean the same attribute.
    if (text == "TimeStamp")
        return tBasicTypeEnum::Timestamp;
    return fromTable(tBasicTypeEnum_STRING, text, tBasicTypeEnum::BOOLEAN);
}

tSmpMod smpModFromString(const std::string& text) {
    return fromTable(tSmpMod_STRING, text, tSmpMod::SmpPerPeriod);
}

tValKindEnum valKindFromString(const std::string& text) {
    return fromTable(tValKindEnum_STRING, text, tValKindEnum::Set);
}

tGSEControlTypeEnum gseControlTypeFromString(const std::string& text) {
    std::string upper(text);
    for (auto& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper == "GOOSE" ? tGSEControlTypeEnum::GOOSE : tGSEControlTypeEnum::GSSE;
}

bool sclBoolFromString(const std::string& text) {
    std::string lower(text);
    for (auto& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower == "true";
}

tCDCEnum cdcFromString(const std::string& text) {
    return fromTable(tCDCEnum_STRING, text, tCDCEnum::SPS);
}

tLNClassEnum lnClassFromString(const std::string& text) {
    return fromTable(tLNClassEnum_STRING, text, tLNClassEnum::LPHD);
}

tMmsTypeEnum mmsTypeFromString(const std::string& text) {
    return fromTable(tMmsTypeEnum_STRING, text, tMmsTypeEnum::BOOLEAN);
}

std::string toString(tFCEnum value) {
    return value == tFCEnum::NONE ? std::string() : tableText(tFCEnum_STRING, value);
}
std::string toString(tBasicTypeEnum value) {
    return tableText(tBasicTypeEnum_STRING, value);
}
std::string toString(tMmsTypeEnum value) {
    return tableText(tMmsTypeEnum_STRING, value);
}
std::string toString(tSmpMod value) {
    return tableText(tSmpMod_STRING, value);
}
std::string toString(tValKindEnum value) {
    return tableText(tValKindEnum_STRING, value);
}
std::string toString(tGSEControlTypeEnum value) {
    return tableText(tGSEControlTypeEnum_STRING, value);
}
std::string toString(tCDCEnum value) {
    return tableText(tCDCEnum_STRING, value);
}
std::string toString(tLNClassEnum value) {
    return tableText(tLNClassEnum_STRING, value);
}

tMmsTypeEnum relevantMmsType(tBasicTypeEnum bType) {
    switch (bType) {
    case tBasicTypeEnum::BOOLEAN:
        return tMmsTypeEnum::BOOLEAN;
    case tBasicTypeEnum::INT8:
    case tBasicTypeEnum::INT16:
    case tBasicTypeEnum::INT24:
    case tBasicTypeEnum::INT32:
    case tBasicTypeEnum::INT64:
    case tBasicTypeEnum::INT128:
    case tBasicTypeEnum::Enum:
        return tMmsTypeEnum::INTEGER;
    case tBasicTypeEnum::INT8U:
    case tBasicTypeEnum::INT16U:
    case tBasicTypeEnum::INT24U:
    case tBasicTypeEnum::INT32U:
        return tMmsTypeEnum::UNSIGNED;
    case tBasicTypeEnum::FLOAT32:
    case tBasicTypeEnum::FLOAT64:
        return tMmsTypeEnum::FLOAT;
    case tBasicTypeEnum::Struct:
        return tMmsTypeEnum::STRUCTURE;
    default:
        return tMmsTypeEnum::BIT_STRING;
    }
}

} // namespace VorIec61850
