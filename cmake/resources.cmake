# Compiles resources/vkupdate.rc to one .res that both builds carry:
#   VK_RES_FILE          the compiled .res
#   VK_PAYLOAD_DIR       the payload files as made (payload_<id>.szdd) and expanded/<temp name>
#   vk_res               the target that makes it
#   VK_RES_BLOB_SOURCE   host build: assembler source that embeds the .res bytes
#   VK_RES_OBJECT        Windows build: the .res as a COFF object to link
if(NOT VK_WINDRES)
  find_program(VK_WINDRES NAMES i686-w64-mingw32-windres x86_64-w64-mingw32-windres REQUIRED)
endif()

# The pictures, the icon and the converted welcome text are made by tools/mkimages, a host
# program even in the Windows build, so it is compiled here with the host's own compiler.
find_program(VK_HOST_CXX NAMES c++ g++ REQUIRED)
set(VK_GENERATED_DIR ${CMAKE_BINARY_DIR}/resources)
set(VK_MKIMAGES ${VK_GENERATED_DIR}/mkimages)
add_custom_command(OUTPUT ${VK_MKIMAGES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VK_GENERATED_DIR}
  COMMAND ${VK_HOST_CXX} -std=c++17 -O2 -Wall -Wextra -I ${CMAKE_SOURCE_DIR}
          -o ${VK_MKIMAGES} ${CMAKE_SOURCE_DIR}/tools/mkimages/mkimages.cpp
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/mkimages/mkimages.cpp ${CMAKE_SOURCE_DIR}/formats/little_endian.h
  COMMENT "Building mkimages (host)")
set(VK_GENERATED_RESOURCES
  ${VK_GENERATED_DIR}/side_picture.bmp
  ${VK_GENERATED_DIR}/logo.bmp
  ${VK_GENERATED_DIR}/vkupdate.ico
  ${VK_GENERATED_DIR}/welcome_text.bin)
# Fails, saying by how many bytes, when the welcome text is not 4,478 bytes in code page 932.
add_custom_command(OUTPUT ${VK_GENERATED_RESOURCES}
  COMMAND ${VK_MKIMAGES} ${CMAKE_SOURCE_DIR}/resources/welcome.txt ${VK_GENERATED_DIR}
  DEPENDS ${VK_MKIMAGES} ${CMAKE_SOURCE_DIR}/resources/welcome.txt
  COMMENT "Making the pictures, the icon and the welcome text")

# The payload files, RCDATA PAYLOAD_RESOURCE_BASE + 1 to + PAYLOAD_ROW_COUNT (130 to 170), the
# two numbers read from where the code takes them: made by tools/mkpayloads (a host program too),
# as stand-ins or from the release folder named by VK_PAYLOAD_RELEASE, whose files are named by
# the payload table's temp names. A missing or extra file there stops the build, named.
set(VK_RESOURCE_IDS ${CMAKE_SOURCE_DIR}/resources/resource.h)
set(VK_PAYLOAD_TABLE_H ${CMAKE_SOURCE_DIR}/payload/payload_table.h)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VK_RESOURCE_IDS} ${VK_PAYLOAD_TABLE_H})
file(STRINGS ${VK_RESOURCE_IDS} VK_PAYLOAD_BASE REGEX "^#define PAYLOAD_RESOURCE_BASE [0-9]+$")
string(REGEX REPLACE "^#define PAYLOAD_RESOURCE_BASE " "" VK_PAYLOAD_BASE "${VK_PAYLOAD_BASE}")
file(STRINGS ${VK_PAYLOAD_TABLE_H} VK_PAYLOAD_COUNT REGEX "^const int PAYLOAD_ROW_COUNT = [0-9]+")
string(REGEX REPLACE "^const int PAYLOAD_ROW_COUNT = ([0-9]+).*$" "\\1" VK_PAYLOAD_COUNT "${VK_PAYLOAD_COUNT}")
if(NOT VK_PAYLOAD_BASE MATCHES "^[0-9]+$" OR NOT VK_PAYLOAD_COUNT MATCHES "^[0-9]+$")
  message(FATAL_ERROR "PAYLOAD_RESOURCE_BASE (resources/resource.h) or PAYLOAD_ROW_COUNT (payload/payload_table.h) not found")
endif()
math(EXPR VK_PAYLOAD_FIRST "${VK_PAYLOAD_BASE} + 1")
math(EXPR VK_PAYLOAD_LAST "${VK_PAYLOAD_BASE} + ${VK_PAYLOAD_COUNT}")
set(VK_PAYLOAD_RELEASE "" CACHE PATH "Folder of the 41 release files to carry as payloads (empty: stand-ins)")
set(VK_PAYLOAD_DIR ${VK_GENERATED_DIR}/payloads)
set(VK_MKPAYLOADS ${VK_GENERATED_DIR}/mkpayloads)
set(VK_MKPAYLOADS_SOURCES
  ${CMAKE_SOURCE_DIR}/tools/mkpayloads/mkpayloads.cpp
  ${CMAKE_SOURCE_DIR}/tools/mkpayloads/standins.cpp
  ${CMAKE_SOURCE_DIR}/formats/szdd.cpp
  ${CMAKE_SOURCE_DIR}/formats/pe_writer.cpp
  ${CMAKE_SOURCE_DIR}/payload/payload_table.cpp)
add_custom_command(OUTPUT ${VK_MKPAYLOADS}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VK_GENERATED_DIR}
  COMMAND ${VK_HOST_CXX} -std=c++17 -O2 -Wall -Wextra -I ${CMAKE_SOURCE_DIR}
          -o ${VK_MKPAYLOADS} ${VK_MKPAYLOADS_SOURCES}
  DEPENDS ${VK_MKPAYLOADS_SOURCES}
          ${CMAKE_SOURCE_DIR}/tools/mkpayloads/payload_lengths.h
          ${CMAKE_SOURCE_DIR}/tools/mkpayloads/standins.h
          ${CMAKE_SOURCE_DIR}/formats/szdd.h
          ${CMAKE_SOURCE_DIR}/formats/pe_writer.h
          ${CMAKE_SOURCE_DIR}/formats/little_endian.h
          ${VK_PAYLOAD_TABLE_H} ${VK_RESOURCE_IDS}
  COMMENT "Building mkpayloads (host)")
set(VK_PAYLOAD_FILES ${VK_PAYLOAD_DIR}/payloads.rc)
foreach(id RANGE ${VK_PAYLOAD_FIRST} ${VK_PAYLOAD_LAST})
  list(APPEND VK_PAYLOAD_FILES ${VK_PAYLOAD_DIR}/payload_${id}.szdd)
endforeach()
set(VK_RELEASE_FILES "")
if(VK_PAYLOAD_RELEASE)
  file(GLOB VK_RELEASE_FILES CONFIGURE_DEPENDS ${VK_PAYLOAD_RELEASE}/*)
endif()
add_custom_command(OUTPUT ${VK_PAYLOAD_FILES}
  COMMAND ${VK_MKPAYLOADS} ${VK_PAYLOAD_DIR} ${VK_PAYLOAD_RELEASE}
  DEPENDS ${VK_MKPAYLOADS} ${VK_RELEASE_FILES}
  COMMENT "Making the payload files")

set(VK_RES_FILE ${CMAKE_BINARY_DIR}/vkupdate.res)
file(GLOB VK_RES_INPUTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/* ${CMAKE_SOURCE_DIR}/text/text_ids.h)
add_custom_command(OUTPUT ${VK_RES_FILE}
  COMMAND ${VK_WINDRES} -O res -I ${CMAKE_SOURCE_DIR} -I ${CMAKE_SOURCE_DIR}/resources -I ${VK_GENERATED_DIR}
          -I ${VK_PAYLOAD_DIR} -i ${CMAKE_SOURCE_DIR}/resources/vkupdate.rc -o ${VK_RES_FILE}
  DEPENDS ${VK_RES_INPUTS} ${VK_GENERATED_RESOURCES} ${VK_PAYLOAD_FILES}
  COMMENT "Compiling vkupdate.rc")
add_custom_target(vk_res DEPENDS ${VK_RES_FILE})

if(WIN32)
  set(VK_RES_OBJECT ${CMAKE_BINARY_DIR}/vkupdate_res.o)
  add_custom_command(OUTPUT ${VK_RES_OBJECT}
    COMMAND ${VK_WINDRES} -J res -O coff -i ${VK_RES_FILE} -o ${VK_RES_OBJECT}
    DEPENDS ${VK_RES_FILE})
else()
  set(VK_RES_BLOB_SOURCE ${CMAKE_BINARY_DIR}/vkupdate_res_blob.S)
  vk_write_if_changed(${VK_RES_BLOB_SOURCE}
    "    .section .rodata\n"
    "    .balign 16\n"
    "    .globl vk_res_begin\n"
    "    .globl vk_res_end\n"
    "vk_res_begin:\n"
    "    .incbin \"${VK_RES_FILE}\"\n"
    "vk_res_end:\n"
    "    .byte 0\n"
    "    .section .note.GNU-stack,\"\",@progbits\n")
endif()
