#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace iecx::ui {

// A file of the page (HTML, script, style sheet) compiled into the library.
struct EmbeddedFile {
    const char* path; // "/index.html"
    const unsigned char* data;
    std::size_t size;
};

const std::vector<EmbeddedFile>& embeddedFiles();

// The file served for a request path ("/" is "/index.html"), or null.
const EmbeddedFile* findEmbeddedFile(const std::string& path);
// The content type of a file name by its extension.
const char* contentTypeOf(const std::string& path);

} // namespace iecx::ui
