# Writes a C++ source that defines `std::string_view FUNCTION()` answering the bytes of INPUT.
#   cmake -DINPUT=file -DOUTPUT=file.cpp -DFUNCTION=name -P embed.cmake
file(READ "${INPUT}" bytes HEX)
string(LENGTH "${bytes}" hexLength)
math(EXPR size "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
    "// Generated from ${INPUT}.\n"
    "#include <string_view>\n\n"
    "namespace {\nconst char kBytes[] = {\n    ${bytes}'\\0'};\n}  // namespace\n\n"
    "std::string_view ${FUNCTION}() {\n    return {kBytes, ${size}};\n}\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
