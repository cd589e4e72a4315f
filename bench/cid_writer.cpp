// GooseToCid::saveToCid with 1 000 FCDA lines: time and file size, against two baselines
// measured in the same run on the same bytes:
//   - write: the finished file's bytes written with a plain std::ofstream;
//   - reserialise: libxml++ writing (formatted) the same document parsed back from the file.
// Usage: bench_cid_writer [repetitions] (default 15); prints medians.
#include "cid/GooseToCid.h"
#include "cid/PublicationDescription.h"

#include <libxml++/libxml++.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

using namespace VorIec61850;

namespace {

// The example publication of the test set with `lines` generated members.
GooseOut makeOut(int lines) {
    static const char* const kClasses[] = {"GGIO", "PTOC", "XCBR", "CSWI", "MMXU",
                                           "PDIS", "PTRC", "XSWI", "RREC", "PDIF"};
    GooseOut out;
    const std::string error =
        PublicationDescription::readGooseDescriptionFile(IECX_EXAMPLES_DIR "/testset_goose.desc", out);
    if (!error.empty())
        throw std::runtime_error(error);
    std::ostringstream list;
    for (int i = 0; i < lines; ++i) {
        const char* dataType = i % 3 == 0 ? "Dbpos" : "BOOLEAN";
        list << "<FCDA path=\"TS/" << kClasses[i % 10] << (i / 10 % 100 + 1) << ".Ind" << (i % 50 + 1)
             << ".stVal\" fc=\"ST\" dataType=\"" << dataType << "\"/>";
        if (i + 1 < lines)
            list << '\n';
    }
    out.fcdaList = list.str();
    return out;
}

double medianMs(int repetitions, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < repetitions; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    char dirPattern[] = "/tmp/iecx_bench_cid_XXXXXX";
    if (::mkdtemp(dirPattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string dir = dirPattern;
    const std::string cidPath = dir + "/Goose.cid";
    const std::string copyPath = dir + "/copy.cid";
    const std::string xmlPath = dir + "/reserialised.cid";
    const GooseOut out = makeOut(1000);

    // A fresh writer per save: the writer's sets grow across saves on one object.
    const double saveMs = medianMs(repetitions, [&] { GooseToCid().saveToCid(out, cidPath); });
    const std::string bytes = readAll(cidPath);

    const double writeMs = medianMs(repetitions, [&] {
        std::ofstream file(copyPath, std::ios::binary);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    });

    xmlpp::DomParser parser(cidPath);
    const double reserialiseMs =
        medianMs(repetitions, [&] { parser.get_document()->write_to_file_formatted(xmlPath); });

    std::printf("GooseToCid::saveToCid, 1000 FCDA lines (%d repetitions, medians)\n", repetitions);
    std::printf("  file size:                 %zu bytes (%zu lines)\n", bytes.size(),
                static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n')));
    std::printf("  saveToCid:                 %8.2f ms\n", saveMs);
    std::printf("  baseline ofstream write:   %8.2f ms   ratio %.1fx\n", writeMs, saveMs / writeMs);
    std::printf("  baseline libxml++ write:   %8.2f ms   ratio %.2fx\n", reserialiseMs,
                saveMs / reserialiseMs);

    ::unlink(cidPath.c_str());
    ::unlink(copyPath.c_str());
    ::unlink(xmlPath.c_str());
    ::rmdir(dir.c_str());
    return 0;
}
