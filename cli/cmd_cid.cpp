// iecx cid: CID files describing the test set's own GOOSE or Sampled Values publication.
#include "cid/GooseToCid.h"
#include "cid/PublicationDescription.h"
#include "cid/SvToCid.h"
#include "cli/CliOptions.h"
#include "cli/Command.h"
#include "host/Files.h"

#include <glibmm/miscutils.h>
#include <libxml++/libxml++.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>

namespace {

using namespace iecx::cli;
namespace Desc = VorIec61850::PublicationDescription;

const char* kDescription =
    "Writes a CID file describing the test set's own GOOSE (iecx cid goose) or Sampled Values (iecx cid\n"
    "sv) publication and prints the path written. Without -o the file is Goose.cid or SV.cid in the\n"
    "cache directory.\n"
    "\n"
    "Settings come from a description file (-f, one 'key = value' per line, '#' comments) and from the\n"
    "options of the same names; options are applied after the file, and repeated fcda/channel settings\n"
    "add up. Numbers are decimal, or hexadecimal with 0x.\n"
    "Defaults: mac 01-0C-CD-01-00-01 (goose) or 01-0C-CD-04-00-01 (sv), appid 0x0001 (goose) or 0x4000\n"
    "(sv), vlan-id 0, vlan-priority 4.\n"
    "With --schema-valid the file validates against the IEC 61850-6 edition 2 (2007B) schema (basic\n"
    "type Timestamp, an IP parameter in every Address, each DO name once per LNodeType, a non-empty\n"
    "smvID); without it the established form is written.\n"
    "Example: iecx cid goose --gocb-ref TESTIEDLD0/LLN0$GO$gcb01 --ld-ref LD0/LLN0 --dataset ds01 \\\n"
    "           --fcda 'LD0/GGIO1.SPCSO1.stVal[ST] BOOLEAN' -o Goose.cid";

int usageError(const std::string& message) {
    std::fprintf(stderr, "iecx cid: %s\nRun 'iecx cid --help' for the options.\n", message.c_str());
    return kExitUsage;
}

bool readFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream content;
    content << in.rdbuf();
    text = content.str();
    return !in.bad();
}

// Writes through `save` into a temporary file beside the target, checks that the result is a
// well-formed document, and renames it over the target: a failure leaves nothing half-written.
bool writeAtomically(const std::string& target, const std::function<void(const std::string&)>& save,
                     std::string& error) {
    const std::string dir = Glib::path_get_dirname(target);
    if (!Vor::mkdir_with_parents(dir)) {
        const int code = errno;
        struct stat st {};
        const bool blocked = ::stat(dir.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
        error = "cannot create directory '" + dir +
                "': " + (blocked ? "a file of that name exists" : std::strerror(code));
        return false;
    }
    std::string pattern = dir + "/." + Glib::path_get_basename(target) + ".XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        error = "cannot create a file in '" + dir + "': " + std::strerror(errno);
        return false;
    }
    // mkstemp creates the file private; give it the permissions of a normally created file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);
    const std::string temporary = pattern;
    try {
        save(temporary);
        xmlpp::DomParser check;
        check.parse_file(temporary);
    } catch (const std::exception& e) {
        ::unlink(temporary.c_str());
        error = "cannot write '" + target + "': " + e.what();
        return false;
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        error = "cannot write '" + target + "': " + std::strerror(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

int runCid(const std::vector<std::string>& args) {
    auto app = newCommand("cid", kDescription);
    app->require_subcommand(1);
    std::string output, descriptionFile;
    bool json = false, schemaValid = false;
    std::vector<std::pair<std::string, std::string>> settings;
    auto addSetting = [&settings](CLI::App* sub, const std::string& key, const std::string& description) {
        sub->add_option_function<std::vector<std::string>>(
               "--" + key,
               [&settings, key](const std::vector<std::string>& values) {
                   for (const std::string& v : values)
                       settings.emplace_back(key, v);
               },
               description)
            ->type_name("VALUE")
            ->expected(1)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    };
    for (const char* kind : {"goose", "sv"}) {
        const bool forGoose = std::string(kind) == "goose";
        CLI::App* sub = app->add_subcommand(kind, forGoose ? "the GOOSE publication (Goose.cid)"
                                                           : "the Sampled Values publication (SV.cid)");
        sub->add_option("-o,--output", output, "file to write (its missing directories are created)");
        sub->add_option("-f,--file", descriptionFile, "description file");
        sub->add_flag("--json", json, "print {\"path\": ...} instead of the bare path");
        sub->add_flag("--schema-valid", schemaValid, "write a file that validates against the 2007B schema");
        addSetting(sub, "mac", "destination MAC, six byte pairs joined by '-' or ':'");
        addSetting(sub, "appid", "APPID, 0 to 0xFFFF");
        addSetting(sub, "vlan-id", "VLAN id, 0 to 0xFFF");
        addSetting(sub, "vlan-priority", "VLAN priority, 0 to 7");
        if (forGoose) {
            addSetting(sub, "gocb-ref", "control block reference, e.g. TESTIEDLD0/LLN0$GO$gcb01 (required)");
            addSetting(sub, "ld-ref", "logical device reference, e.g. LD0/LLN0 (required)");
            addSetting(sub, "dataset", "data set name (required)");
            addSetting(sub, "conf-rev", "configuration revision (default 1)");
            addSetting(sub, "min-time", "MinTime in milliseconds (default 10)");
            addSetting(sub, "max-time", "MaxTime in milliseconds (default 1000)");
            addSetting(sub, "fcda", "one data set member 'PATH[FC] TYPE', or an FCDA element; repeatable");
        } else {
            addSetting(sub, "channel",
                       "one published channel, e.g. MU/TCTR1.AmpSv.instMag.i[MX]; repeatable");
        }
    }
    if (int status = parseCommand(*app, args); status >= 0)
        return status;
    const std::string kind = app->get_subcommands().front()->get_name();
    const bool isGoose = kind == "goose";

    VorIec61850::GooseOut goose;
    goose.macAddress = "01-0C-CD-01-00-01";
    goose.appId = 0x0001;
    goose.vlanPriority = 4;
    goose.confRev = 1;
    goose.minTime = 10;
    goose.maxTime = 1000;
    VorIec61850::SvOut sv;
    sv.macAddress = "01-0C-CD-04-00-01";
    sv.appId = 0x4000;
    sv.vlanPriority = 4;
    auto apply = [&](const std::string& key, const std::string& value) {
        return isGoose ? Desc::applyGooseSetting(goose, key, value) : Desc::applySvSetting(sv, key, value);
    };

    if (!descriptionFile.empty()) {
        std::string text;
        if (!readFile(descriptionFile, text))
            return usageError("cannot read description file '" + descriptionFile + "'");
        std::string error = Desc::parseDescription(text, apply);
        if (!error.empty())
            return usageError(descriptionFile + ": " + error);
    }
    for (const auto& setting : settings) {
        std::string error = apply(setting.first, setting.second);
        if (!error.empty())
            return usageError(error.compare(0, 7, "unknown") == 0
                                  ? "unknown option '--" + setting.first + "' for " + kind
                                  : error);
    }
    if (isGoose) {
        std::string error = Desc::checkGooseOut(goose);
        if (!error.empty())
            return usageError(error);
    }

    const std::string target =
        isGoose ? VorIec61850::GooseToCid::targetPath(output) : VorIec61850::SvToCid::targetPath(output);
    std::string error;
    const bool written = writeAtomically(
        target,
        [&](const std::string& path) {
            if (isGoose) {
                VorIec61850::GooseToCid writer;
                writer.setSchemaValid(schemaValid);
                writer.saveToCid(goose, path);
            } else {
                VorIec61850::SvToCid writer;
                writer.setSchemaValid(schemaValid);
                writer.saveToCid(sv, path);
            }
        },
        error);
    if (!written)
        return fail("cid", error);
    if (json)
        printJson({{"path", target}}, false);
    else
        std::printf("%s\n", target.c_str());
    return kExitOk;
}

const CommandRegistration registration("cid", "write a CID file of the test set's GOOSE or SV publication",
                                       runCid);

} // namespace
