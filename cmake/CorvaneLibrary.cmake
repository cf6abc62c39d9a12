# corvane_library(TARGET FOLDER [LINKS targets...])
#
# One layer of the program: a static library of every source under src/FOLDER. Its headers
# are included as "FOLDER/name.h", and a library sees only the headers of itself and of the
# libraries it links: each one's include root holds nothing but a link to its own folder.
# A header of a higher layer is therefore not found, and the link graph is the layering.
function(corvane_library target folder)
  cmake_parse_arguments(ARG "" "" "LINKS" ${ARGN})
  set(source_dir ${PROJECT_SOURCE_DIR}/src/${folder})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${source_dir}/*.cpp ${source_dir}/*.h)
  add_library(${target} STATIC ${sources})
  set(root ${PROJECT_BINARY_DIR}/layers/${target})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(NOT EXISTS ${root}/${folder})
    file(CREATE_LINK ${source_dir} ${root}/${folder} SYMBOLIC)
  endif()
  target_include_directories(${target} PUBLIC ${root})
  target_link_libraries(${target} PUBLIC ${ARG_LINKS})
  # The bottom layer makes the precompiled header the others reuse.
  if(target STREQUAL corvane_base)
    corvane_precompile(${target} ${CORVANE_PRECOMPILED_CORE})
  else()
    corvane_reuse_precompiled(${target} corvane_base)
  endif()
endfunction()

# corvane_forbid_links(TARGET forbidden...)
#
# Fails the configuration when TARGET reaches one of the forbidden libraries through its
# links, however indirectly: a layer that must not depend on a library cannot come to.
function(corvane_forbid_links target)
  set(seen "")
  set(queue ${target})
  while(queue)
    list(POP_FRONT queue current)
    if(current IN_LIST seen OR NOT TARGET ${current})
      continue()
    endif()
    list(APPEND seen ${current})
    get_target_property(links ${current} INTERFACE_LINK_LIBRARIES)
    if(links)
      foreach(link ${links})
        if(link IN_LIST ARGN)
          message(FATAL_ERROR "${target} links ${link} (through ${current})")
        endif()
        list(APPEND queue ${link})
      endforeach()
    endif()
  endwhile()
endfunction()
