# Compiles resources/vkupdate.rc to one .res that both builds carry:
#   VK_RES_FILE          the compiled .res
#   vk_res               the target that makes it
#   VK_RES_BLOB_SOURCE   host build: assembler source that embeds the .res bytes
#   VK_RES_OBJECT        Windows build: the .res as a COFF object to link
if(NOT VK_WINDRES)
  find_program(VK_WINDRES NAMES i686-w64-mingw32-windres x86_64-w64-mingw32-windres REQUIRED)
endif()

set(VK_RES_FILE ${CMAKE_BINARY_DIR}/vkupdate.res)
file(GLOB VK_RES_INPUTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/*)
add_custom_command(OUTPUT ${VK_RES_FILE}
  COMMAND ${VK_WINDRES} -O res -I ${CMAKE_SOURCE_DIR}/resources -I ${CMAKE_BINARY_DIR}/resources
          -i ${CMAKE_SOURCE_DIR}/resources/vkupdate.rc -o ${VK_RES_FILE}
  DEPENDS ${VK_RES_INPUTS}
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
