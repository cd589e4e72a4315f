// CID files for the test set's own publications: a GOOSE with two members and a Sampled Values
// stream with two channels, written as Goose.cid and SV.cid into a directory.
//     write_cid DIRECTORY
#include "example.h"

#include "cid/GooseToCid.h"
#include "cid/SvToCid.h"

#include <cstdio>
#include <exception>
#include <string>

using namespace VorIec61850;

int main(int argc, char** argv) {
    requireArguments(argc == 2, "write_cid DIRECTORY");
    const std::string dir = argv[1];

    GooseOut goose;
    goose.macAddress = "01-0C-CD-01-01-00"; // written as given
    goose.appId = 0x0100;
    goose.vlanId = 10;
    goose.vlanPriority = 4;
    goose.dataSetName = "TestSetDS";
    goose.ldReference = "TS/LLN0";                  // the part before '/' is the LD instance
    goose.goCbRef = "TESTSETTS/LLN0$GO$gcbTestSet"; // <IED name><LD inst>/LLN0$GO$<name>
    goose.confRev = 1;
    goose.minTime = 2;
    goose.maxTime = 1000;
    goose.fcdaList = "<FCDA path=\"TS/GGIO1.SPCSO1.stVal\" fc=\"ST\" dataType=\"BOOLEAN\"/>\n"
                     "<FCDA path=\"TS/GGIO1.SPCSO1.q\" fc=\"ST\" dataType=\"BIT_STRING\"/>";

    SvOut sv;
    sv.macAddress = "01-0C-CD-04-01-00";
    sv.appId = 0x4100;
    sv.vlanId = 10;
    sv.vlanPriority = 4;
    // Channels name the written IED's logical device in full (IED name + LD instance), as the
    // data set members of that IED; the host's channel pointer and its two numbers are carried,
    // not written.
    const std::string ld = std::string(SvToCid::kIedName) + SvToCid::kLdInst;
    sv.channels.emplace_back(ld + "/TCTR1.AmpSv.instMag.i[MX]", nullptr, 1.0, 0.0);
    sv.channels.emplace_back(ld + "/TVTR1.VolSv.instMag.i[MX]", nullptr, 1.0, 0.0);

    try {
        // An empty path writes into the host's cache directory instead.
        GooseToCid().saveToCid(goose, dir + "/Goose.cid");
        SvToCid writer;
        writer.setSchemaValid(true); // for tools that check the SCL schema
        writer.saveToCid(sv, dir + "/SV.cid");
    } catch (const std::exception& e) { // XML library and file errors
        std::fprintf(stderr, "write_cid: %s\n", e.what());
        return 1;
    }
    std::printf("%s/Goose.cid\n%s/SV.cid\n", dir.c_str(), dir.c_str());
    return 0;
}
