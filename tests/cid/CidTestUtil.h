#pragma once
// Shared pieces of the CID tests: the golden publications, XPath queries on a written document,
// a temporary cache directory, file reading and writing.
#include "cid/PublicationDescription.h"
#include "cid/Publications.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <libxml++/libxml++.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

namespace cidtest {

using iecx::test::TempDir;

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline bool fileExists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

inline void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

inline std::string dataFile(const std::string& name) {
    return std::string(IECX_TEST_DATA_DIR) + "/cid/" + name;
}

// A written document equals the reference file byte for byte. IECX_UPDATE_GOLDEN=1 rewrites the
// reference instead (read the difference before committing it).
inline void expectGolden(const std::string& written, const std::string& goldenName) {
    if (std::getenv("IECX_UPDATE_GOLDEN") != nullptr)
        writeFile(dataFile(goldenName), readFile(written));
    EXPECT_EQ(readFile(written), readFile(dataFile(goldenName)));
}

// One FCDA line as the host writes it into a publication's data set list.
inline std::string fcdaXml(const std::string& path, const std::string& fc, const std::string& dataType) {
    return "<FCDA path=\"" + path + "\" fc=\"" + fc + "\" dataType=\"" + dataType + "\"/>";
}

// The GOOSE publication of goose_golden.cid, read from its description file as `iecx cid goose -f`
// reads it: TESTIED, LD0, gcb01, data set GooseDS of four members.
inline VorIec61850::GooseOut goldenGooseOut() {
    VorIec61850::GooseOut out;
    EXPECT_EQ(VorIec61850::PublicationDescription::readGooseDescriptionFile(dataFile("goose.desc"), out), "");
    return out;
}

// Data set members whose data objects the written templates declare (single and double points
// and their quality), so that the SCL reader and the simulated IED resolve every one of them.
inline std::string declaredMembers() {
    return fcdaXml("LD0/GGIO1.SPCSO1.stVal", "ST", "BOOLEAN") + "\n" +
           fcdaXml("LD0/XPTOC2.Op.stVal", "ST", "BOOLEAN") + "\n" +
           fcdaXml("LD0/XCBR1.Pos.stVal", "ST", "Dbpos") + "\n" +
           fcdaXml("LD0/GGIO1.SPCSO1.q", "ST", "BIT_STRING");
}

// The Sampled Values publication of sv_golden.cid; its fourth channel has an FC outside the table.
inline VorIec61850::SvOut goldenSvOut() {
    VorIec61850::SvOut out;
    out.macAddress = "01-0C-CD-04-00-01";
    out.appId = 0x4000;
    out.vlanId = 5;
    out.vlanPriority = 4;
    for (const char* path :
         {"KAVEN61850MU/TCTR1.AmpSv.instMag.i[MX]", "KAVEN61850MU/TCTR2.AmpSv.q[MX]",
          "KAVEN61850MU/TVTR1.VolSv.instMag.i[MX]", "KAVEN61850MU/TVTR4.VolSv.instMag.i[XX]"})
        out.channels.emplace_back(path, nullptr, 1.0, 0.5);
    return out;
}

// A written document answering XPath queries in the SCL namespace.
class Written {
public:
    explicit Written(const std::string& path) { parser_.parse_file(path); }
    xmlpp::NodeSet find(const std::string& xpath) const {
        return parser_.get_document()->get_root_node()->find(xpath,
                                                             {{"x", "http://www.iec.ch/61850/2003/SCL"}});
    }
    // The text of the first match ("<missing>" when nothing matches).
    std::string text(const std::string& xpath) const {
        auto nodes = find(xpath);
        return nodes.empty() ? "<missing>" : textOf(nodes.front());
    }
    std::string attribute(const std::string& xpath, const std::string& name) const {
        auto nodes = find(xpath);
        if (nodes.empty())
            return "<missing>";
        return dynamic_cast<xmlpp::Element*>(nodes.front())->get_attribute_value(name);
    }
    static std::string textOf(const xmlpp::Node* node) {
        auto* element = dynamic_cast<const xmlpp::Element*>(node);
        return element->get_child_text() != nullptr ? std::string(element->get_child_text()->get_content())
                                                    : "";
    }

private:
    xmlpp::DomParser parser_;
};

} // namespace cidtest
