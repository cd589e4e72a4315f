// What the example programs share: the usage check, the value lines they print, ending on a
// failed result, and starting an MMS pool.
#pragma once
#include "host/Result.h"
#include "mms/MmsValueElement.h"

#include "mms_value.h"

#include <cstdio>
#include <cstdlib>
#include <string>

// Ends the program with its usage line (status 2) unless the arguments are complete.
inline void requireArguments(bool complete, const char* usage) {
    if (!complete) {
        std::fprintf(stderr, "usage: %s\n", usage);
        std::exit(2);
    }
}

// One line per value, "PATH = VALUE @ MS ms" where MS is the value's time stamp (Unix time in
// milliseconds, 0 when the device sent none).
inline void printValue(const std::string& path, const VorIec61850::MmsValueElement* element) {
    if (element == nullptr || element->getValue() == nullptr) {
        std::printf("%s = (no value yet)\n", path.c_str());
        return;
    }
    char text[256];
    MmsValue_printToBuffer(element->getValue(), text, sizeof text);
    std::printf("%s = %s @ %llu ms\n", path.c_str(), text,
                static_cast<unsigned long long>(element->getUnixTimestamp()));
}

// Ends the program with the result's message when it failed.
inline void require(const Vor::Result& result, const char* what) {
    if (!result) {
        std::fprintf(stderr, "%s: %s\n", what, result.getMessage().c_str());
        std::exit(1);
    }
}

// Starts a report or polling pool, or ends the program with the reason; a lost connection is
// told on the pool's thread.
template <typename MmsPool> void startMmsPool(MmsPool& pool) {
    pool.connectionLost.connect(
        [&pool] { std::printf("connection lost: %s\n", pool.getLastError().c_str()); });
    if (!pool.start()) {
        std::fprintf(stderr, "start: %s (client error %d)\n", pool.getLastError().c_str(),
                     static_cast<int>(pool.getLastClientError()));
        std::exit(1);
    }
}
