# The LibreOffice UNO client: the office's program folder (its URE libraries,
# type libraries and fundamentalrc) and the SDK's cppumaker, which turns the type
# libraries into the C++ headers that Debian does not ship.
include_guard(GLOBAL)

find_path(OFFICE_PROGRAM_DIR
    NAMES fundamentalrc types.rdb
    PATHS /usr/lib/libreoffice/program /opt/libreoffice/program
    NO_DEFAULT_PATH
    DOC "LibreOffice program folder (holds soffice.bin, types.rdb and fundamentalrc)")
find_program(UNO_CPPUMAKER
    NAMES cppumaker
    PATHS /usr/lib/libreoffice/sdk/bin
    NO_DEFAULT_PATH
    DOC "cppumaker of the LibreOffice SDK")
find_path(UNO_SDK_INCLUDE_DIR
    NAMES cppuhelper/bootstrap.hxx
    PATHS /usr/include/libreoffice /usr/lib/libreoffice/sdk/include
    NO_DEFAULT_PATH)

if(NOT OFFICE_PROGRAM_DIR OR NOT UNO_CPPUMAKER OR NOT UNO_SDK_INCLUDE_DIR)
  message(FATAL_ERROR
      "The LibreOffice SDK was not found (program folder: '${OFFICE_PROGRAM_DIR}', "
      "cppumaker: '${UNO_CPPUMAKER}', headers: '${UNO_SDK_INCLUDE_DIR}'). "
      "Install libreoffice-writer and libreoffice-dev.")
endif()

set(UNO_TYPE_LIBRARIES
    ${OFFICE_PROGRAM_DIR}/types.rdb
    ${OFFICE_PROGRAM_DIR}/types/offapi.rdb)

# uno_generate_headers(<output-dir> <out-var> <type>...)
# Generates the headers of the given UNO types (and the types they depend on)
# into <output-dir> at build time. <out-var> receives the header files of the
# listed types, to be added to a target's sources so the rule runs first.
function(uno_generate_headers output_dir out_var)
  set(headers)
  foreach(type IN LISTS ARGN)
    string(REPLACE "." "/" type_path "${type}")
    list(APPEND headers "${output_dir}/${type_path}.hpp")
  endforeach()
  list(JOIN ARGN ";" type_list)
  set(stamp "${output_dir}/.generated")
  add_custom_command(
      OUTPUT ${stamp} ${headers}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${output_dir}
      # cppumaker wants an absolute output folder.
      COMMAND ${UNO_CPPUMAKER} -O${output_dir} "-T${type_list}" ${UNO_TYPE_LIBRARIES}
      COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
      DEPENDS ${UNO_TYPE_LIBRARIES}
      COMMENT "Generating UNO C++ headers"
      VERBATIM)
  set(${out_var} ${stamp} ${headers} PARENT_SCOPE)
endfunction()

# Compile and link flags of a UNO client. The URE libraries live in the office's
# program folder, and so do the office's private libraries that they need. Debian
# links the URE libraries' names into the multiarch library folder, but a library
# loaded through those links looks for its private libraries beside the link
# ($ORIGIN), where there are none: the program has to load the URE libraries from
# the program folder itself. In the build tree CMake's build RUNPATH (the link
# folders) does that; installed, the program's RUNPATH is relative to its own
# folder (assets/CMakeLists.txt).
function(uno_client target generated_dir)
  # SYSTEM: the SDK's and the generated headers are not ours to keep warning-free.
  target_include_directories(${target} SYSTEM PRIVATE ${generated_dir} ${UNO_SDK_INCLUDE_DIR})
  target_compile_definitions(${target} PRIVATE LINUX UNX CPPU_ENV=gcc3
      TARNWICK_OFFICE_PROGRAM_DIR="${OFFICE_PROGRAM_DIR}")
  target_link_directories(${target} PUBLIC ${OFFICE_PROGRAM_DIR}/../sdk/lib ${OFFICE_PROGRAM_DIR})
  target_link_libraries(${target} PUBLIC
      uno_cppuhelpergcc3 uno_cppu uno_salhelpergcc3 uno_sal)
  target_link_options(${target} PUBLIC "LINKER:-rpath-link,${OFFICE_PROGRAM_DIR}")
endfunction()
