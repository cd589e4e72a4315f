#pragma once
#include "scl/SclTypes.h"

#include <sstream>
#include <string>
#include <vector>

// Every field the extractor fills, as text, so that two extractions compare as strings.
inline std::string dumpSubNetworks(const std::vector<VorIec61850::tSubNetwork>& subNetworks) {
    using namespace VorIec61850;
    std::ostringstream out;
    auto dumpAddress = [&](const std::vector<tP>& address) {
        for (const tP& p : address)
            out << "    P " << p.type << " v=" << p.value << " mac=" << p.getMacAddress()
                << " ip=" << p.getIpAddress() << "\n";
    };
    auto dumpDataSet = [&](const tDataSet* ds) {
        if (ds == nullptr) {
            out << "   dataset null\n";
            return;
        }
        out << "   dataset " << ds->name << " desc=" << ds->desc << "\n";
        for (const tFCDA& f : ds->fcdas) {
            out << "    FCDA " << f.ldInst << "|" << f.prefix << "|" << f.lnClass << "|" << f.lnInst << "|"
                << f.doName << "|" << f.daName << " fc=" << toString(f.fc) << " mms=" << toString(f.mmsType)
                << " unit=" << f.unit << "\n";
            for (const tDA& da : f.das)
                out << "     DA " << da.name << " fc=" << toString(da.fc) << " mms=" << toString(da.mmsType)
                    << " b=" << toString(da.bType) << " type=" << da.type << " count=" << da.count
                    << " vk=" << toString(da.valKind) << " " << da.dchg << da.qchg << da.dupd
                    << " sAddr=" << da.sAddr << " desc=" << da.desc << "\n";
        }
    };
    for (const tSubNetwork& sn : subNetworks) {
        out << "SubNetwork " << sn.name << " type=" << sn.type << " desc=" << sn.desc << "\n";
        for (const tConnectedAP& ap : sn.connectedAPs) {
            out << " AP " << ap.iedName << " " << ap.apName << " desc=" << ap.desc << "\n";
            dumpAddress(ap.address);
            for (const tGSE& g : ap.gse) {
                out << "  GSE " << g.ldInst << " " << g.cbName << " desc=" << g.desc
                    << " min=" << g.minTime.value << " max=" << g.maxTime.value << "\n";
                dumpAddress(g.address);
                const tGSEControl& c = *g.gseControl;
                out << "   GSEControl " << c.name << " datSet=" << c.datSet << " appID=" << c.appID
                    << " confRev=" << c.confRev << " type=" << toString(c.type)
                    << " fixedOffs=" << c.fixedOffs << " desc=" << c.desc << "\n";
                dumpDataSet(c.dataSet.get());
            }
            for (const tSMV& s : ap.smv) {
                out << "  SMV " << s.ldInst << " " << s.cbName << " desc=" << s.desc << "\n";
                dumpAddress(s.address);
                const tSampledValueControl& c = *s.svControl;
                out << "   SVControl " << c.name << " datSet=" << c.datSet << " smvID=" << c.smvID
                    << " confRev=" << c.confRev << " smpRate=" << c.smpRate << " nofASDU=" << c.nofASDU
                    << " smpMod=" << toString(c.smpMod) << " multicast=" << c.multicast << " desc=" << c.desc
                    << "\n";
                dumpDataSet(c.dataSet.get());
            }
        }
    }
    return out.str();
}
