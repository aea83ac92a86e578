# quorvex3_export_headers(<target>)
#
# Gives a library an include root of its own: a folder in the build tree that
# holds links to the headers listed among the target's sources, under their
# path below src/ ("plots/ScatterPlot.h"). The root is the target's only public
# include directory, so a target sees the headers of the libraries it links and
# nothing else: an include that goes the wrong way between folders does not
# compile. Call it after every source of the target is listed.
function(quorvex3_export_headers target)
  get_target_property(_sources ${target} SOURCES)
  get_target_property(_source_dir ${target} SOURCE_DIR)
  set(_root ${CMAKE_BINARY_DIR}/include/${target})
  # Built anew at every configure, so a header taken out of a target is gone.
  file(REMOVE_RECURSE ${_root})
  foreach(_source IN LISTS _sources)
    if(NOT _source MATCHES "\\.h$")
      continue()
    endif()
    get_filename_component(_header ${_source} ABSOLUTE BASE_DIR ${_source_dir})
    file(RELATIVE_PATH _relative ${PROJECT_SOURCE_DIR}/src ${_header})
    if(_relative MATCHES "^\\.\\.")
      message(FATAL_ERROR "${target}: header ${_header} lies outside src/")
    endif()
    get_filename_component(_dir ${_root}/${_relative} DIRECTORY)
    file(MAKE_DIRECTORY ${_dir})
    file(CREATE_LINK ${_header} ${_root}/${_relative} SYMBOLIC)
  endforeach()
  target_include_directories(${target} PUBLIC ${_root})
endfunction()

# quorvex3_check_gui_free(<target>...)
#
# Stops the configure step when a GUI-free library links Qt Widgets, Qt Gui
# or Qwt, directly or through another library. Call it once every target
# exists.
function(quorvex3_check_gui_free)
  foreach(_target IN LISTS ARGN)
    set(_pending ${_target})
    set(_seen)
    while(_pending)
      list(POP_FRONT _pending _current)
      if(_current IN_LIST _seen OR NOT TARGET ${_current})
        continue()
      endif()
      list(APPEND _seen ${_current})
      if(_current MATCHES "^(Qt5::(Widgets|Gui|Svg|PrintSupport|OpenGL)|Qwt::Qwt)$")
        message(FATAL_ERROR "${_target} must stay GUI-free but links ${_current}")
      endif()
      get_target_property(_type ${_current} TYPE)
      if(_type STREQUAL "INTERFACE_LIBRARY")
        get_target_property(_links ${_current} INTERFACE_LINK_LIBRARIES)
      else()
        get_target_property(_links ${_current} LINK_LIBRARIES)
      endif()
      foreach(_link IN LISTS _links)
        if(_link AND NOT _link MATCHES "^\\$<")
          list(APPEND _pending ${_link})
        endif()
      endforeach()
    endwhile()
  endforeach()
endfunction()
