# Applied globally so our libraries, tests and the fixture writer share one
# instrumentation; system libraries stay uninstrumented.
if(QUORVEX3_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(QUORVEX3_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(QUORVEX3_SANITIZE)
  message(FATAL_ERROR "Unknown QUORVEX3_SANITIZE value '${QUORVEX3_SANITIZE}'")
endif()
