# vorlex_add_plugin(<codec> SOURCES <files...> EXPORTS <symbols...>
#                   [LIBS <targets...> NEEDED <soname prefixes...>])
#
# Builds libvorlex-plugin-<codec>.so the way every plug-in must be built:
# position-independent, symbols hidden except those marked VORLEX_EXPORT,
# no exceptions, no RTTI and no C++ runtime (linked as C, so NEEDED is just
# libvorlex.so.0 and libc.so.6), soname equal to the file name, assertions on,
# installed into <libdir>/vorlex/plugins.
#
# The sources other than the binding vorlex-<codec>.cpp form the coder. They
# are also built as the object library vorlex_<codec>_coder, which tests and
# fuzzers link to call the algorithm functions directly.
#
# EXPORTS lists the dynamic symbols the plug-in must define besides the entry
# point; a test checks the exact set together with NEEDED and SONAME.
#
# A codec that wraps a system library links it through LIBS (imported
# targets, e.g. from pkg-config) and names its soname prefix in NEEDED
# (libzstd.so.): that library is then the one NEEDED entry allowed beyond
# libvorlex and libc.
set(VORLEX_PLUGIN_FLAGS -fvisibility=hidden -fvisibility-inlines-hidden -fno-exceptions
    -fno-rtti -fno-threadsafe-statics -fno-asynchronous-unwind-tables -UNDEBUG)

function(vorlex_add_plugin codec)
  cmake_parse_arguments(P "" "" "SOURCES;EXPORTS;LIBS;NEEDED" ${ARGN})
  set(binding vorlex-${codec}.cpp)
  set(coder_sources ${P_SOURCES})
  list(FILTER coder_sources EXCLUDE REGEX "(^|/)${binding}$")

  set(target vorlex-plugin-${codec})
  add_library(${target} SHARED ${P_SOURCES})
  if(coder_sources)
    add_library(vorlex_${codec}_coder OBJECT ${coder_sources})
    target_compile_options(vorlex_${codec}_coder PRIVATE ${VORLEX_PLUGIN_FLAGS})
    target_include_directories(vorlex_${codec}_coder PUBLIC
      ${CMAKE_SOURCE_DIR}/include ${CMAKE_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(vorlex_${codec}_coder PUBLIC ${P_LIBS})
  endif()
  target_compile_options(${target} PRIVATE ${VORLEX_PLUGIN_FLAGS})
  target_include_directories(${target} PRIVATE
    ${CMAKE_SOURCE_DIR}/include ${CMAKE_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${target} PRIVATE vorlex ${P_LIBS})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME vorlex-plugin-${codec}
    LIBRARY_OUTPUT_DIRECTORY ${VORLEX_PLUGIN_OUTPUT_DIR}
    LINKER_LANGUAGE C)
  if(NOT VORLEX_SANITIZE)
    target_link_options(${target} PRIVATE -Wl,--no-undefined -Wl,--as-needed)
  endif()
  install(TARGETS ${target} LIBRARY DESTINATION ${VORLEX_INSTALL_PLUGIN_DIR})
  set_property(GLOBAL APPEND PROPERTY VORLEX_PLUGIN_TARGETS ${target})

  if(VORLEX_BUILD_TESTS AND NOT VORLEX_SANITIZE)
    set(extra_needed)
    foreach(prefix IN LISTS P_NEEDED)
      list(APPEND extra_needed --needed ${prefix})
    endforeach()
    add_test(NAME abi.${codec}
      COMMAND ${CMAKE_SOURCE_DIR}/tests/abi/check_plugin.sh ${extra_needed} $<TARGET_FILE:${target}>
              libvorlex-plugin-${codec}.so vorlex_plugin_init_codec ${P_EXPORTS})
    set_tests_properties(abi.${codec} PROPERTIES LABELS quick)
  endif()
endfunction()

# vorlex_depend_on_plugins(<target>): build every plug-in before <target>, for
# programs that load them at run time.
function(vorlex_depend_on_plugins target)
  get_property(plugins GLOBAL PROPERTY VORLEX_PLUGIN_TARGETS)
  if(plugins)
    add_dependencies(${target} ${plugins})
  endif()
endfunction()

# vorlex_add_child_directories(): add_subdirectory for every child folder of
# the current one that has a CMakeLists.txt, in name order.
function(vorlex_add_child_directories)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} *)
  list(SORT children)
  foreach(child IN LISTS children)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
