# cmake -DINPUT=file -DOUTPUT=file.cpp -DNAME=function -P embed_bytes.cmake
# Writes a C++ file whose function NAME returns the bytes of INPUT.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp" "// Generated from ${INPUT}; do not edit.\n"
  "#include <cstddef>\n#include <span>\n\n"
  "namespace kiroda::cli {\n\n"
  "namespace {\nconst unsigned char kBytes[${size}] = {\n${bytes}};\n}  // namespace\n\n"
  "std::span<const unsigned char> ${NAME}() { return {kBytes, sizeof kBytes}; }\n\n"
  "}  // namespace kiroda::cli\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
