#include "cli/Subscription.h"

#include "cli/CliSupport.h"
#include "scl/DataExtractor.h"

#include <libxml++/libxml++.h>

#include <cstdio>
#include <exception>

namespace iecx::cli {

void SubscriptionOptions::addSource(CLI::App& app, const std::string& sclText) {
    app.add_option("IFACE", iface, "network interface, or 'any'")->required();
    app.add_option("--scl", scl, sclText);
}

void SubscriptionOptions::addFilters(CLI::App& app) {
    addUnsigned(
        app, "--confrev", [this](uint64_t n) { confRev = n; }, "configuration revision filter", 0,
        0xFFFFFFFFull);
    app.add_option_function<std::string>(
           "--dst-mac", [this](const std::string& v) { dstMac = v; },
           "destination MAC filter aa:bb:cc:dd:ee:ff")
        ->type_name("MAC");
}

bool SubscriptionOptions::interfaceName(const std::string& command, std::string& name) const {
    name = iface == "any" ? std::string() : iface;
    if (!name.empty() && !interfaceExists(name)) {
        std::fprintf(stderr, "iecx %s: no interface '%s'\n", command.c_str(), iface.c_str());
        return false;
    }
    return true;
}

bool SubscriptionOptions::rawAccess(const std::string& command) {
    if (!canOpenRawSocket()) {
        std::fprintf(stderr, "iecx %s: raw Ethernet access needs root or CAP_NET_RAW\n", command.c_str());
        return false;
    }
    return true;
}

bool SubscriptionOptions::readScl(const std::string& command,
                                  std::vector<VorIec61850::tConnectedAP>& aps) const {
    try {
        xmlpp::DomParser parser;
        parser.parse_file(scl);
        VorIec61850::DataExtractor extractor(&parser);
        aps = extractor.getConnectedApCollection();
        return true;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "iecx %s: cannot read SCL file '%s': %s\n", command.c_str(), scl.c_str(),
                     e.what());
        return false;
    }
}

} // namespace iecx::cli
