#pragma once
#include <fstream>
#include <ios>
#include <memory>
#include <string>

namespace Vor {

// The cache directory shared by the host's applications: $XDG_CACHE_HOME/vor, else
// $HOME/.cache/vor, else /tmp/vor-cache-<uid>. Created on first use. The text ends with '/',
// so a file name can be appended directly.
std::string getVorCrossAppCacheDir();

// Creates the directory and its missing parents; true when it exists afterwards.
bool mkdir_with_parents(const std::string& path);

// Opens an output file by its UTF-8 path; check is_open() on the result.
std::unique_ptr<std::ofstream> openOutputFileUTF8Name(const std::string& path,
                                                      std::ios_base::openmode mode = std::ios_base::out);

} // namespace Vor
