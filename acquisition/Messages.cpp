#include "acquisition/Messages.h"
#include "host/Language.h"

namespace lng {
namespace Iec61850 {

namespace {

const Text kMessages[] = {
    {"Viewer", "IEC-61850", "МЭК-61850"},
    {"Capturer", "Capture packets to PCAP", "Захват пакетов в PCAP"},
    {"MmsReport.missingRCB", "Unable to find MMS-report - %s", "Не удается найти MMS-отчет - %s"},
    {"MmsPolling.running", "The MMS polling module is already running", "Модуль опроса MMS уже запущен"},
    {"Goose.setTargetError", "Error preparing GOOSE capture", "Ошибка подготовки захвата GOOSE"},
    {"Goose.invalidDataSet", "The GOOSE data set description cannot be read",
     "Не удается прочитать описание набора данных GOOSE"},
    {"Goose.receiverError", "Unable to receive GOOSE on interface %s",
     "Не удается принимать GOOSE на интерфейсе %s"},
    {"Pool.noPaths", "No data attributes are chosen", "Не выбраны атрибуты данных"},
    {"Pool.unknownPath", "%s is not in the data set", "%s отсутствует в наборе данных"},
    {"Mms.connectionFailed", "Unable to connect to the IED %s (client error %d)",
     "Не удается подключиться к устройству %s (ошибка клиента %d)"},
    {"Mms.connectionLost", "Connection to the IED %s lost", "Потеряна связь с устройством %s"},
    {"MmsReport.enableFailed", "Unable to enable MMS-report %s (client error %d)",
     "Не удается включить MMS-отчет %s (ошибка клиента %d)"},
    {"MmsPolling.noFC", "%s has no functional constraint", "%s не содержит функциональной связи"},
};

} // namespace

const char* get(const std::string& key) {
    return lookup(kMessages, key);
}

} // namespace Iec61850
} // namespace lng
