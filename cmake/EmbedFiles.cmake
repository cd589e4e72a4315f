# cmake -DOUT=<file.cpp> -DFILES="<a;b;...>" -DBASE=<dir> -P EmbedFiles.cmake
# Writes a C++ source holding each file's bytes and its name relative to BASE, so that the web
# host serves its page from the binary and needs no installed folder.
set(body "// Generated at build time from ui/assets; do not edit.\n#include \"ui/Assets.h\"\n\nnamespace iecx::ui {\nnamespace {\n")
set(table "")
set(n 0)
foreach(f ${FILES})
  file(READ ${f} hex HEX)
  string(LENGTH "${hex}" len)
  math(EXPR size "${len} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  file(RELATIVE_PATH rel ${BASE} ${f})
  string(APPEND body "const unsigned char file${n}[] = {${bytes}0x00};\n")
  string(APPEND table "    {\"/${rel}\", file${n}, ${size}},\n")
  math(EXPR n "${n} + 1")
endforeach()
string(APPEND body "} // namespace\n\nconst std::vector<EmbeddedFile>& embeddedFiles() {\n    static const std::vector<EmbeddedFile> files{\n${table}    };\n    return files;\n}\n\n} // namespace iecx::ui\n")
file(WRITE ${OUT}.tmp "${body}")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
