# The add-on's resource bundle: the images drawn at build time by quorix-artgen
# and the XML window layouts, compiled by rcc into one object library.
#
#   quorix_add_resources(<target>)  links the bundle into <target>. rcc's static
#                                   initialiser registers it when the binary loads
#                                   and unregisters it when the binary unloads.
#   quorix_artwork_dir              folder holding the generated PNG files
#   quorix-artwork                  target that brings those files up to date
#   quorix-artsheet                 target that writes artwork/sheet.png, all images on one page
include_guard(GLOBAL)

get_filename_component(_quorix_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(QUORIX_ARTGEN_SOURCE_DIR "${_quorix_root}/cpp/tools/artgen" CACHE INTERNAL "Sources of the image generator")
set(QUORIX_LAYOUT_DIR "${_quorix_root}/layout/theme/quorix/layout" CACHE INTERNAL "XML window layouts")
set(quorix_artwork_dir "${CMAKE_BINARY_DIR}/artwork/image/theme/quorix/image" CACHE INTERNAL
    "Folder of the generated add-on images")

# Defines quorix-artwork and quorixresources the first time it is called.
function(_quorix_define_resource_bundle)
  if(TARGET quorixresources)
    return()
  endif()
  if(NOT TARGET quorix-artgen)
    add_subdirectory(${QUORIX_ARTGEN_SOURCE_DIR} ${CMAKE_BINARY_DIR}/quorix-artgen)
  endif()

  set(list_file ${QUORIX_ARTGEN_SOURCE_DIR}/artwork.list)
  file(STRINGS ${list_file} lines REGEX "^[^#]*\\.png")
  set(images)
  set(qrc_entries)
  foreach(line IN LISTS lines)
    string(REGEX MATCH "^[ \t]*([^ \t]+\\.png)" _ "${line}")
    list(APPEND images ${quorix_artwork_dir}/${CMAKE_MATCH_1})
    string(APPEND qrc_entries
           "  <file alias=\"image/theme/quorix/image/${CMAKE_MATCH_1}\">${quorix_artwork_dir}/${CMAKE_MATCH_1}</file>\n")
  endforeach()

  add_custom_command(
    OUTPUT ${images}
    # Qt's offscreen platform plugin leaks a few bytes at exit; in sanitizer
    # builds that must not fail the build step.
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
            $<TARGET_FILE:quorix-artgen> --manifest ${list_file} ${quorix_artwork_dir}
    DEPENDS quorix-artgen ${list_file}
    COMMENT "Drawing the add-on images"
    VERBATIM)
  add_custom_target(quorix-artwork DEPENDS ${images})
  # Not part of the default build: a contact sheet of every image, for review.
  add_custom_target(quorix-artsheet
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
            $<TARGET_FILE:quorix-artgen> --manifest ${list_file} --sheet ${CMAKE_BINARY_DIR}/artwork/sheet.png
    DEPENDS quorix-artgen
    COMMENT "Writing ${CMAKE_BINARY_DIR}/artwork/sheet.png"
    VERBATIM)

  # Layouts are small text files: always stored zlib-compressed.
  file(GLOB layouts CONFIGURE_DEPENDS ${QUORIX_LAYOUT_DIR}/*.xml)
  list(SORT layouts)
  foreach(layout IN LISTS layouts)
    get_filename_component(name ${layout} NAME)
    string(APPEND qrc_entries
           "  <file alias=\"layout/theme/quorix/layout/${name}\" compress=\"9\" compress-algo=\"zlib\" "
           "threshold=\"0\">${layout}</file>\n")
  endforeach()

  set(qrc ${CMAKE_BINARY_DIR}/quorixresources/quorix.qrc)
  set(qrc_cpp ${CMAKE_BINARY_DIR}/quorixresources/qrc_quorix.cpp)
  file(GENERATE OUTPUT ${qrc} CONTENT "<RCC>\n<qresource prefix=\"/\">\n${qrc_entries}</qresource>\n</RCC>\n")
  # Format 1 carries no file times, so the bundle is the same on every build.
  add_custom_command(
    OUTPUT ${qrc_cpp}
    COMMAND Qt5::rcc --format-version 1 --name quorix --output ${qrc_cpp} ${qrc}
    DEPENDS ${qrc} ${images} ${layouts} quorix-artwork
    COMMENT "Compiling the add-on resource bundle"
    VERBATIM)
  add_library(quorixresources OBJECT ${qrc_cpp})
  set_target_properties(quorixresources PROPERTIES AUTORCC OFF AUTOMOC OFF AUTOUIC OFF)
  target_link_libraries(quorixresources PRIVATE Qt5::Core)
endfunction()

function(quorix_add_resources target)
  _quorix_define_resource_bundle()
  target_link_libraries(${target} PRIVATE quorixresources)
endfunction()
