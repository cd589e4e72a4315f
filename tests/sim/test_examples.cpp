// Every IED of the example SCL files served by the simulated IED and browsed completely
// through the client: every attribute is found, every data set member resolves and reads.
#include "support/IedClient.h"

#include "iec61850_client.h"

#include <gtest/gtest.h>
#include <libxml++/libxml++.h>

#include <dirent.h>

#include <string>
#include <vector>

using namespace iecx::test;
using iecx::sim::ModelNode;

namespace {

std::vector<std::string> names(LinkedList list) {
    return toVector(list);
}

size_t expand(IedConnection con, const std::string& ref, FunctionalConstraint fc) {
    IedClientError err;
    auto children = names(IedConnection_getDataDirectoryByFC(con, &err, ref.c_str(), fc));
    EXPECT_EQ(err, IED_ERROR_OK) << ref;
    if (children.empty())
        return 1;
    size_t leaves = 0;
    for (const auto& c : children)
        leaves += expand(con, ref + "." + c, fc);
    return leaves;
}

// (file, IED name) of every IED with a server in the examples.
std::vector<std::pair<std::string, std::string>> exampleIeds() {
    std::vector<std::pair<std::string, std::string>> out;
    DIR* dir = opendir(IECX_EXAMPLES_DIR);
    if (!dir)
        return out;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name.size() < 4 ||
            (name.substr(name.size() - 4) != ".cid" && name.substr(name.size() - 4) != ".scd" &&
             name.substr(name.size() - 4) != ".icd"))
            continue;
        std::string path = std::string(IECX_EXAMPLES_DIR) + "/" + name;
        xmlpp::DomParser parser;
        parser.parse_file(path);
        for (xmlpp::Node* n : parser.get_document()->get_root_node()->get_children("IED"))
            if (auto* el = dynamic_cast<xmlpp::Element*>(n))
                out.emplace_back(path, el->get_attribute_value("name"));
    }
    closedir(dir);
    return out;
}

size_t dataLeaves(iecx::sim::Model& model) {
    size_t count = 0;
    for (const auto& d : model.domains())
        for (const auto& ln : d->logicalNodes)
            for (const auto& group : ln->children) {
                if (group->name == "RP" || group->name == "BR" || group->name == "GO")
                    continue;
                std::vector<ModelNode*> leaves;
                group->collectLeaves(leaves);
                count += leaves.size();
            }
    return count;
}

} // namespace

TEST(SimExamples, EveryIedBrowsesCompletely) {
    auto ieds = exampleIeds();
    if (ieds.empty())
        GTEST_SKIP() << "no example SCL files in " << IECX_EXAMPLES_DIR;
    for (const auto& [file, iedName] : ieds) {
        SCOPED_TRACE(file + " " + iedName);
        SimIed sim(file, iedName);
        if (!sim.ok() && sim.error().find("no logical device") != std::string::npos)
            continue; // an IED without a server (e.g. a merging unit described by its SMV only)
        ASSERT_TRUE(sim.ok()) << sim.error();
        IedConnection con = IedConnection_create();
        IedClientError err;
        IedConnection_connect(con, &err, sim.host().c_str(), sim.port());
        ASSERT_EQ(err, IED_ERROR_OK);
        size_t leaves = 0;
        for (const auto& ld : names(IedConnection_getServerDirectory(con, &err, false)))
            for (const auto& ln : names(IedConnection_getLogicalDeviceDirectory(con, &err, ld.c_str()))) {
                std::string lnRef = ld + "/" + ln;
                for (const auto& dobj : names(IedConnection_getLogicalNodeDirectory(
                         con, &err, lnRef.c_str(), ACSI_CLASS_DATA_OBJECT))) {
                    std::string doRef = lnRef + "." + dobj;
                    for (const auto& child :
                         names(IedConnection_getDataDirectoryFC(con, &err, doRef.c_str()))) {
                        size_t open = child.find('[');
                        FunctionalConstraint fc = FunctionalConstraint_fromString(child.c_str() + open + 1);
                        leaves += expand(con, doRef + "." + child.substr(0, open), fc);
                    }
                }
                for (const auto& ds : names(IedConnection_getLogicalNodeDirectory(con, &err, lnRef.c_str(),
                                                                                  ACSI_CLASS_DATA_SET))) {
                    std::string dsRef = lnRef + "." + ds;
                    auto members =
                        names(IedConnection_getDataSetDirectory(con, &err, dsRef.c_str(), nullptr));
                    EXPECT_FALSE(members.empty()) << dsRef;
                    for (const auto& m : members) {
                        size_t open = m.find('[');
                        ASSERT_NE(open, std::string::npos) << m;
                        FunctionalConstraint fc = FunctionalConstraint_fromString(m.c_str() + open + 1);
                        MmsValue* v = IedConnection_readObject(con, &err, m.substr(0, open).c_str(), fc);
                        EXPECT_NE(v, nullptr) << m;
                        MmsValue_delete(v);
                    }
                }
            }
        EXPECT_EQ(leaves, dataLeaves(sim.ied().model()));
        for (const auto& d : sim.ied().model().domains())
            for (const auto& ds : d->dataSets)
                for (const auto& m : ds->members)
                    EXPECT_NE(m.node, nullptr) << ds->mmsReference() << " " << m.domain << "/" << m.item;
        IedConnection_destroy(con);
    }
}
