# Compiles resources/vkupdate.rc to one .res that both builds carry:
#   VK_RES_FILE          the compiled .res
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
  COMMAND ${VK_HOST_CXX} -std=c++17 -O2 -Wall -Wextra
          -o ${VK_MKIMAGES} ${CMAKE_SOURCE_DIR}/tools/mkimages/mkimages.cpp
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/mkimages/mkimages.cpp
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

set(VK_RES_FILE ${CMAKE_BINARY_DIR}/vkupdate.res)
file(GLOB VK_RES_INPUTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/* ${CMAKE_SOURCE_DIR}/text/text_ids.h)
add_custom_command(OUTPUT ${VK_RES_FILE}
  COMMAND ${VK_WINDRES} -O res -I ${CMAKE_SOURCE_DIR} -I ${CMAKE_SOURCE_DIR}/resources -I ${VK_GENERATED_DIR}
          -i ${CMAKE_SOURCE_DIR}/resources/vkupdate.rc -o ${VK_RES_FILE}
  DEPENDS ${VK_RES_INPUTS} ${VK_GENERATED_RESOURCES}
  COMMENT "Compiling vkupdate.rc")
add_custom_target(vk_res DEPENDS ${VK_RES_FILE})

if(WIN32)
  set(VK_RES_OBJECT ${CMAKE_BINARY_DIR}/vkupdate_res.o)
  add_custom_command(OUTPUT ${VK_RES_OBJECT}
    COMMAND ${VK_WINDRES} -J res -O coff -i ${VK_RES_FILE} -o ${VK_RES_OBJECT}
    DEPENDS ${VK_RES_FILE})
else()
  set(VK_RES_BLOB_SOURCE ${CMAKE_BINARY_DIR}/vkupdate_res_blob.S)
  file(WRITE ${VK_RES_BLOB_SOURCE}
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
