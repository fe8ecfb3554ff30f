# Writes a C++ source that holds the bytes of a file as a character array.
#   cmake -DINPUT=file -DOUTPUT=file.cpp -DNAMESPACE=ns -DSYMBOL=name -P EmbedText.cmake
# The source defines `std::string_view ns::name()` returning the file's exact bytes.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${INPUT} by cmake/EmbedText.cmake; do not edit.
#include <string_view>

namespace ${NAMESPACE} {
namespace {
constexpr unsigned char kBytes[] = {
    ${bytes}0};
}  // namespace
std::string_view ${SYMBOL}() {
  return std::string_view(reinterpret_cast<char const*>(kBytes), ${size});
}
}  // namespace ${NAMESPACE}
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
