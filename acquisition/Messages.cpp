#include "acquisition/Messages.h"
#include "host/Language.h"

#include <mutex>
#include <set>

namespace lng {
namespace Iec61850 {

namespace {

struct Message {
    const char* key;
    const char* english;
    const char* russian;
};

const Message kMessages[] = {
    {"Viewer", "IEC-61850", "МЭК-61850"},
    {"Capturer", "Capture packets to PCAP", "Захват пакетов в PCAP"},
    {"MmsReport.missingRCB", "Unable to find MMS-report - %s", "Не удается найти MMS-отчет - %s"},
    {"MmsPolling.running", "The MMS polling module is already running", "Модуль опроса MMS уже запущен"},
    {"Goose.setTargetError", "Error preparing GOOSE capture", "Ошибка подготовки захвата GOOSE"},
};

} // namespace

const char* get(const std::string& key) {
    for (const Message& m : kMessages) {
        if (key == m.key)
            return language() == 0 ? m.english : m.russian;
    }
    // An unknown key is shown as the message. The caller's string may be a temporary, so the
    // text comes from a process-wide copy of the key that is never freed; keys are program
    // constants, so the set stays small.
    static std::mutex mutex;
    static std::set<std::string> unknownKeys;
    std::lock_guard<std::mutex> lock(mutex);
    return unknownKeys.insert(key).first->c_str();
}

} // namespace Iec61850
} // namespace lng
