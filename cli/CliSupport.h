#pragma once
// Small helpers shared by the commands: raw-socket rights, interfaces, numbers, Ctrl-C and
// progress lines.
#include "host/NonCopyable.h"

#include <cstdint>
#include <functional>
#include <string>

namespace iecx::cli {

// true when this process may open raw Ethernet sockets (root or CAP_NET_RAW).
bool canOpenRawSocket();
// true when the machine has a network interface of that name.
bool interfaceExists(const std::string& name);
// A whole unsigned number in decimal (leading zeros allowed: "010" is ten), or hexadecimal
// written with 0x; false for anything else.
bool parseUnsigned(const std::string& text, uint64_t& out);

// Ctrl-C and SIGTERM: main installs the handler once; a command polls stopRequested() and ends
// its work cleanly (files closed, threads joined). A second Ctrl-C while stopping ends the process.
void installStopHandler();
bool stopRequested();
// Returns when `done` answers true (checked every few milliseconds), Ctrl-C was pressed or
// `seconds` have passed (0: no time limit). true unless Ctrl-C ended the wait.
bool waitUntil(const std::function<bool()>& done, double seconds);

// A one-line progress indicator on stderr for work that takes longer than a second, shown only
// when stderr is a terminal; the line is cleared when the object ends.
class Progress : Vor::NonCopyable {
public:
    Progress();
    ~Progress();
    void update(const std::string& text);

private:
    bool _enabled;
    bool _shown = false;
    int64_t _startMs;
};

// Sends what the library writes on stdout (its fixed diagnostic lines) to /dev/null while the
// object lives, so that a command's stdout holds only its results.
class QuietStdout : Vor::NonCopyable {
public:
    QuietStdout();
    ~QuietStdout();

private:
    int _saved = -1;
};

} // namespace iecx::cli
