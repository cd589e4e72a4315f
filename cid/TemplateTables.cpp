#include "cid/TemplateTables.h"

namespace VorIec61850 {
namespace CidTemplates {

const DaRow kNamPltLn0Das[4] = {
    {"vendor", "VisString255", nullptr, false, "DC", nullptr},
    {"swRev", "VisString255", nullptr, false, "DC", "1v00"},
    {"configRev", "VisString255", nullptr, false, "DC", "1"},
    {"ldNs", "VisString255", nullptr, false, "EX", "IEC 61850-7-4:2007B"},
};

const DaRow kModDas[4] = {
    {"stVal", "Enum", "Mod", true, "ST", nullptr},
    {"q", "Quality", nullptr, true, "ST", nullptr},
    {"t", "TimeStamp", nullptr, false, "ST", nullptr},
    {"ctlModel", "Enum", "ctlModel", true, "CF", "status-only"},
};

const DaRow kBehDas[3] = {
    {"stVal", "Enum", "Beh", true, "ST", nullptr},
    {"q", "Quality", nullptr, true, "ST", nullptr},
    {"t", "TimeStamp", nullptr, false, "ST", nullptr},
};

const DaRow kHealthDas[3] = {
    {"stVal", "Enum", "Health", true, "ST", nullptr},
    {"q", "Quality", nullptr, true, "ST", nullptr},
    {"t", "TimeStamp", nullptr, false, "ST", nullptr},
};

const DaRow kPhyNamDas[5] = {
    {"vendor", "VisString255", nullptr, false, "DC", nullptr},
    {"hwRev", "VisString255", nullptr, false, "DC", "1v03"},
    {"swRev", "VisString255", nullptr, false, "DC", "1v00"},
    {"serNum", "VisString255", nullptr, false, "DC", "000001, mfg 2011-12-01"},
    {"model", "VisString255", nullptr, false, "DC", "PanoMeas101"},
};

const DaRow kProxyDas[3] = {
    {"stVal", "BOOLEAN", nullptr, true, "ST", "false"},
    {"q", "Quality", nullptr, true, "ST", nullptr},
    {"t", "TimeStamp", nullptr, false, "ST", nullptr},
};

const DaRow kAmpSvDas[4] = {
    {"instMag", "Struct", "AnalogueValue", false, "MX", nullptr},
    {"q", "Quality", nullptr, true, "MX", nullptr},
    {"units", "Struct", "AmpUnits", true, "CF", nullptr},
    {"sVC", "Struct", "AmpScaledValueConfig", true, "CF", nullptr},
};

const DaRow kVolSvDas[4] = {
    {"instMag", "Struct", "AnalogueValue", false, "MX", nullptr},
    {"q", "Quality", nullptr, true, "MX", nullptr},
    {"units", "Struct", "VolUnits", true, "CF", nullptr},
    {"sVC", "Struct", "VolScaledValueConfig", true, "CF", nullptr},
};

const DaRow kSpcsoDas[4] = {
    {"stVal", "BOOLEAN", nullptr, true, "ST", nullptr},
    {"q", "Quality", nullptr, true, "ST", nullptr},
    {"t", "TimeStamp", nullptr, false, "ST", nullptr},
    {"ctlModel", "Enum", "ctlModel", false, "CF", nullptr},
};

const DaRow kDpcsoDas[4] = {
    {"stVal", "Dbpos", "Dbpos", true, "ST", nullptr},
    {"q", "Quality", nullptr, true, "ST", nullptr},
    {"t", "TimeStamp", nullptr, false, "ST", nullptr},
    {"ctlModel", "Enum", "ctlModel", false, "CF", nullptr},
};

const BdaRow kAmpScaledBdas[2] = {
    {"scaleFactor", "FLOAT32", nullptr, "0.001"},
    {"offset", "FLOAT32", nullptr, "0"},
};

const BdaRow kVolScaledBdas[2] = {
    {"scaleFactor", "FLOAT32", nullptr, "0.01"},
    {"offset", "FLOAT32", nullptr, "0"},
};

const BdaRow kAmpUnitsBdas[1] = {{"SIUnit", "Enum", "ITSIUnit", "A"}};
const BdaRow kVolUnitsBdas[1] = {{"SIUnit", "Enum", "ITSIUnit", "V"}};
const BdaRow kAnalogueValueBdas[1] = {{"i", "INT32", nullptr, nullptr}};

const EnumRow kModValues[5] = {
    {1, "on", ""}, {2, "on-blocked", ""}, {3, "test", ""}, {4, "test/blocked", ""}, {5, "off", ""},
};

const EnumRow kHealthValues[3] = {{1, "Ok", ""}, {2, "Warning", ""}, {3, "Alarm", ""}};

const EnumRow kCtlModelValues[5] = {
    {0, "status-only", ""},
    {1, "direct-with-normal-security", ""},
    {2, "sbo-with-normal-security", ""},
    {3, "direct-with-enhanced-security", ""},
    {4, "sbo-with-enhanced-security", ""},
};

const EnumRow kBooleanValues[2] = {{0, "FALSE", ""}, {1, "TRUE", ""}};

const EnumRow kDbposValues[4] = {{0, "intermediate", ""}, {1, "off", ""}, {2, "on", ""}, {3, "bad", ""}};

const EnumRow kItsiUnitValues[4] = {
    {1, nullptr, "Нет"},
    {5, "A", "Сила электрического тока - ампер"},
    {29, "V", "Электрический потенциал - вольт"},
    {76, "char", ""},
};

const EnumRow kSvBehValues[5] = {
    {1, "on", ""}, {2, "blocked", ""}, {3, "test", ""}, {4, "test/blocked", ""}, {5, "off", ""},
};

const char* const kItsiUnitDesc = "Единицы измерения системы СИ";

} // namespace CidTemplates
} // namespace VorIec61850
