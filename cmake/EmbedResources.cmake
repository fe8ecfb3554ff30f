# Writes a C++ source holding the library's resources: every resources/icons/NNNNN.ico
# as an "ICON" resource with identifier NNNNN.
#   cmake -DICON_DIR=dir -DOUTPUT=file.cpp -P EmbedResources.cmake
file(GLOB icons "${ICON_DIR}/*.ico")
list(SORT icons)
set(arrays "")
set(table "")
foreach(icon ${icons})
  get_filename_component(id "${icon}" NAME_WE)
  file(READ "${icon}" hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND arrays "constexpr unsigned char kIcon${id}[] = {${bytes}0};\n")
  string(APPEND table "      {${id}, \"ICON\", {reinterpret_cast<char const*>(kIcon${id}), ${size}}},\n")
endforeach()
file(WRITE "${OUTPUT}.tmp"
"// Generated from resources/icons by cmake/EmbedResources.cmake; do not edit.
#include \"platform/resources/resources.h\"

namespace qel::res {
namespace {
${arrays}
}  // namespace
std::span<Embedded const> EmbeddedResources() {
  static Embedded const resources[] = {
${table}  };
  return resources;
}
}  // namespace qel::res
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
