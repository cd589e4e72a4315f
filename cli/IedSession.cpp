#include "cli/IedSession.h"
#include "cli/CliSupport.h"

#include <algorithm>
#include <cstdio>

namespace iecx::cli {

bool Endpoint::parse(const std::string& text) {
    std::string hostPart = text;
    std::string portPart;
    bool hasPort = false;
    const auto colons = std::count(text.begin(), text.end(), ':');
    if (!text.empty() && text[0] == '[') {
        const auto close = text.find(']');
        if (close == std::string::npos || (close + 1 < text.size() && text[close + 1] != ':'))
            return false;
        hostPart = text.substr(1, close - 1);
        hasPort = close + 1 < text.size();
        portPart = hasPort ? text.substr(close + 2) : "";
    } else if (colons == 1) { // more than one: a bare IPv6 address
        hostPart = text.substr(0, text.find(':'));
        portPart = text.substr(text.find(':') + 1);
        hasPort = true;
    }
    uint64_t n = 102;
    if (hostPart.empty() || (hasPort && (!parseUnsigned(portPart, n) || n == 0 || n > 65535)))
        return false;
    host = hostPart;
    port = static_cast<uint16_t>(n);
    return true;
}

std::string Endpoint::text() const {
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

void ConnectOptions::add(CLI::App& app, std::vector<std::string>* references) {
    app.add_option("HOST", address, "the IED, HOST[:PORT] (port 102 unless given)")->required();
    if (references != nullptr)
        app.add_option("REF", *references, "object reference with FC, LD/LN.DO[.DA][FC]")->required();
    addUnsigned(app, "--connect-timeout", timeoutMs,
                "give up connecting after MS milliseconds (default 3000)", 1, 600000)
        ->type_name("MS");
}

bool ConnectOptions::check(const std::string& command, const std::vector<std::string>& fcReferences) {
    if (!endpoint.parse(address)) {
        std::fprintf(stderr, "iecx %s: '%s' is no HOST[:PORT]\n", command.c_str(), address.c_str());
        return false;
    }
    for (const std::string& text : fcReferences) {
        std::string reference, error;
        FunctionalConstraint fc;
        if (!splitFcReference(text, reference, fc, error)) {
            std::fprintf(stderr, "iecx %s: %s\n", command.c_str(), error.c_str());
            return false;
        }
    }
    return true;
}

IedSession::~IedSession() {
    close();
}

bool IedSession::connect(const ConnectOptions& options, std::string& error) {
    close();
    _connection = IedConnection_create();
    IedConnection_setConnectTimeout(_connection, options.timeoutMs);
    // Requests get the same patience as the connection itself.
    IedConnection_setRequestTimeout(_connection, options.timeoutMs);
    IedClientError code = IED_ERROR_OK;
    IedConnection_connect(_connection, &code, options.endpoint.host.c_str(), options.endpoint.port);
    if (code == IED_ERROR_OK)
        return true;
    error = "cannot connect to " + options.endpoint.text() + ": " + clientErrorText(code);
    close();
    return false;
}

void IedSession::close() {
    if (_connection == nullptr)
        return;
    IedConnection_close(_connection);
    IedConnection_destroy(_connection);
    _connection = nullptr;
}

bool IedSession::connected() const {
    return _connection != nullptr && IedConnection_getState(_connection) == IED_STATE_CONNECTED;
}

bool waitWhileConnected(const IedSession& watch, const RunOptions& run, const std::atomic<uint64_t>& events) {
    bool lost = false;
    waitUntil(
        [&] {
            lost = !watch.connected();
            return lost || (run.count && events >= run.count);
        },
        run.seconds);
    return lost;
}

std::string rcbOwnerText(ClientReportControlBlock rcb) {
    MmsValue* owner = ClientReportControlBlock_getOwner(rcb);
    if (owner == nullptr || MmsValue_getType(owner) != MMS_OCTET_STRING)
        return "";
    const int size = MmsValue_getOctetStringSize(owner);
    const uint8_t* bytes = MmsValue_getOctetStringBuffer(owner);
    std::string dotted, hex;
    bool any = false;
    for (int i = 0; i < size; ++i) {
        any = any || bytes[i] != 0;
        dotted += (i ? "." : "") + std::to_string(bytes[i]);
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X", bytes[i]);
        hex += pair;
    }
    if (!any)
        return "";
    return size == 4 ? dotted : "0x" + hex;
}

std::string clientErrorText(IedClientError error) {
    switch (error) {
    case IED_ERROR_OK:
        return "no error";
    case IED_ERROR_NOT_CONNECTED:
        return "not connected";
    case IED_ERROR_ALREADY_CONNECTED:
        return "already connected";
    case IED_ERROR_CONNECTION_LOST:
        return "connection lost";
    case IED_ERROR_SERVICE_NOT_SUPPORTED:
        return "service not supported";
    case IED_ERROR_CONNECTION_REJECTED:
        return "connection rejected";
    case IED_ERROR_OUTSTANDING_CALL_LIMIT_REACHED:
        return "too many outstanding calls";
    case IED_ERROR_USER_PROVIDED_INVALID_ARGUMENT:
        return "invalid argument";
    case IED_ERROR_ENABLE_REPORT_FAILED_DATASET_MISMATCH:
        return "data set mismatch";
    case IED_ERROR_OBJECT_REFERENCE_INVALID:
        return "invalid object reference";
    case IED_ERROR_UNEXPECTED_VALUE_RECEIVED:
        return "unexpected value received";
    case IED_ERROR_TIMEOUT:
        return "time-out";
    case IED_ERROR_ACCESS_DENIED:
        return "access denied";
    case IED_ERROR_OBJECT_DOES_NOT_EXIST:
        return "object does not exist";
    case IED_ERROR_OBJECT_EXISTS:
        return "object exists";
    case IED_ERROR_OBJECT_ACCESS_UNSUPPORTED:
        return "object access unsupported";
    case IED_ERROR_TYPE_INCONSISTENT:
        return "type inconsistent";
    case IED_ERROR_TEMPORARILY_UNAVAILABLE:
        return "temporarily unavailable";
    case IED_ERROR_OBJECT_UNDEFINED:
        return "object undefined";
    case IED_ERROR_INVALID_ADDRESS:
        return "invalid address";
    case IED_ERROR_HARDWARE_FAULT:
        return "hardware fault";
    case IED_ERROR_TYPE_UNSUPPORTED:
        return "type unsupported";
    case IED_ERROR_OBJECT_ATTRIBUTE_INCONSISTENT:
        return "object attribute inconsistent";
    case IED_ERROR_OBJECT_VALUE_INVALID:
        return "object value invalid";
    case IED_ERROR_OBJECT_INVALIDATED:
        return "object invalidated";
    case IED_ERROR_MALFORMED_MESSAGE:
        return "malformed message";
    case IED_ERROR_SERVICE_NOT_IMPLEMENTED:
        return "service not implemented";
    default:
        return "error " + std::to_string(static_cast<int>(error));
    }
}

bool splitFcReference(const std::string& text, std::string& reference, FunctionalConstraint& fc,
                      std::string& error) {
    const auto open = text.find('[');
    if (open == std::string::npos || text.back() != ']' || open == 0) {
        error = "'" + text + "' needs its functional constraint, as in LD0/GGIO1.Ind1.stVal[ST]";
        return false;
    }
    const std::string fcText = text.substr(open + 1, text.size() - open - 2);
    fc = FunctionalConstraint_fromString(fcText.c_str());
    if (fc == IEC61850_FC_NONE || fcText.size() != 2) {
        error = "'" + fcText + "' in '" + text + "' is no functional constraint";
        return false;
    }
    reference = text.substr(0, open);
    if (reference.find('/') == std::string::npos) {
        error = "'" + text + "' has no logical device (LD/LN.DO...)";
        return false;
    }
    return true;
}

} // namespace iecx::cli
