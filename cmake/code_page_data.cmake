# Turns formats/code_pages.tsv (the system's conversion, kept as data) into
# the check tool's tables: cmake -DIN=<tsv> -DOUT=<cc> -P code_page_data.cmake
file(STRINGS "${IN}" lines)
set(body "")
set(tables "")
set(open "")
foreach(line IN LISTS lines)
  if(line MATCHES "^#")
    continue()
  elseif(line MATCHES "^code_page ([0-9]+) ([0-9A-F][0-9A-F])$")
    set(cp "${CMAKE_MATCH_1}")
    string(APPEND body "${open}const CodePageEntry k${cp}[] = {\n")
    string(APPEND tables "    {${cp}, 0x${CMAKE_MATCH_2}, k${cp}, sizeof k${cp} / sizeof k${cp}[0]},\n")
    set(open "};\n\n")
  elseif(line MATCHES "^([0-9A-F][0-9A-F][0-9A-F][0-9A-F])\t([0-9A-F][0-9A-F][0-9A-F][0-9A-F])$" AND open)
    string(APPEND body "    {0x${CMAKE_MATCH_1}, 0x${CMAKE_MATCH_2}},\n")
  else()
    message(FATAL_ERROR "${IN}: not a table line: '${line}'")
  endif()
endforeach()
if(NOT open)
  message(FATAL_ERROR "${IN}: no code page")
endif()
file(WRITE "${OUT}.new" "// Made by cmake/code_page_data.cmake from formats/code_pages.tsv.
#include \"formats/code_page_tables.h\"

namespace formats {
namespace {

${body}};

}  // namespace

extern const CodePageTable kCodePageTables[] = {
${tables}};
extern const size_t kCodePageTableCount = sizeof kCodePageTables / sizeof kCodePageTables[0];

}  // namespace formats
")
file(RENAME "${OUT}.new" "${OUT}")
