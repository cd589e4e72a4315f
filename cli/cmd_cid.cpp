// iecx cid: CID files describing the test set's own GOOSE or Sampled Values publication.
#include "cid/GooseToCid.h"
#include "cid/PublicationDescription.h"
#include "cid/SvToCid.h"
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

const char* kHelp =
    "usage: iecx cid goose [OPTIONS]\n"
    "       iecx cid sv [OPTIONS]\n"
    "\n"
    "Writes a CID file describing the test set's own GOOSE or Sampled Values publication and\n"
    "prints the path written. Without -o the file is Goose.cid or SV.cid in the cache directory.\n"
    "\n"
    "Settings come from a description file (-f, one 'key = value' per line, '#' comments) and\n"
    "from options of the same names (--key VALUE); options are applied after the file, and\n"
    "repeated fcda/channel settings add up. Numbers are decimal, or hexadecimal with 0x.\n"
    "\n"
    "common:\n"
    "  -o, --output FILE      file to write (its missing directories are created)\n"
    "  -f, --file FILE        description file\n"
    "  --mac MAC              destination MAC, six byte pairs joined by '-' or ':'\n"
    "  --appid N              APPID, 0 to 0xFFFF\n"
    "  --vlan-id N            VLAN id, 0 to 0xFFF\n"
    "  --vlan-priority N      VLAN priority, 0 to 7\n"
    "  --json                 print {\"path\": ...} instead of the bare path\n"
    "goose (gocb-ref, ld-ref and dataset are required):\n"
    "  --gocb-ref REF         control block reference, e.g. TESTIEDLD0/LLN0$GO$gcb01\n"
    "  --ld-ref REF           logical device reference, e.g. LD0/LLN0\n"
    "  --dataset NAME         data set name\n"
    "  --conf-rev N           configuration revision (default 1)\n"
    "  --min-time MS          MinTime in milliseconds (default 10)\n"
    "  --max-time MS          MaxTime in milliseconds (default 1000)\n"
    "  --fcda 'PATH[FC] TYPE' one data set member, e.g. 'LD0/GGIO1.SPCSO1.stVal[ST] BOOLEAN',\n"
    "                         or an FCDA element <FCDA path=\"...\" fc=\"..\" dataType=\"..\"/>\n"
    "sv:\n"
    "  --channel PATH         one published channel, e.g. MU/TCTR1.AmpSv.instMag.i[MX]\n"
    "\n"
    "Defaults: mac 01-0C-CD-01-00-01 (goose) or 01-0C-CD-04-00-01 (sv), appid 0x0001 (goose)\n"
    "or 0x4000 (sv), vlan-id 0, vlan-priority 4.\n"
    "Exit status: 0 written, 1 the file could not be written, 2 wrong usage.\n";

int usageError(const std::string& message) {
    std::fprintf(stderr, "iecx cid: %s\n", message.c_str());
    std::fprintf(stderr, "Try 'iecx cid --help'.\n");
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

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
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
    if (args.empty())
        return usageError("which document: 'goose' or 'sv'");
    if (args[0] == "--help" || args[0] == "-h") {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    const std::string kind = args[0];
    if (kind != "goose" && kind != "sv")
        return usageError("unknown document '" + kind + "': 'goose' or 'sv'");
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

    std::string output, descriptionFile;
    bool json = false;
    std::vector<std::pair<std::string, std::string>> settings;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kHelp, stdout);
            return kExitOk;
        }
        if (a == "--json") {
            json = true;
            continue;
        }
        if (a.size() < 2 || a[0] != '-')
            return usageError("unexpected argument '" + a + "'");
        if (i + 1 >= args.size())
            return usageError(a + " needs a value");
        const std::string& value = args[++i];
        if (a == "-o" || a == "--output")
            output = value;
        else if (a == "-f" || a == "--file")
            descriptionFile = value;
        else if (a.compare(0, 2, "--") == 0)
            settings.emplace_back(a.substr(2), value);
        else
            return usageError("unknown option '" + a + "'");
    }

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
            if (isGoose)
                VorIec61850::GooseToCid().saveToCid(goose, path);
            else
                VorIec61850::SvToCid().saveToCid(sv, path);
        },
        error);
    if (!written) {
        std::fprintf(stderr, "iecx cid: %s\n", error.c_str());
        return kExitFailure;
    }
    if (json)
        std::printf("{\"path\": %s}\n", jsonString(target).c_str());
    else
        std::printf("%s\n", target.c_str());
    return kExitOk;
}

const CommandRegistration registration("cid", "write a CID file of the test set's GOOSE or SV publication",
                                       runCid);

} // namespace
