# Copies the licence texts (SOURCE_DIR) into the program's licences folder
# (TARGET_DIR) and the Debian copyright files of the linked libraries into its
# "third party licenses" folder, one file "<package>.copyright" each.
# Run with: cmake -DSOURCE_DIR=... -DTARGET_DIR=... -P CopyLicenses.cmake
set(_packages
  libqt5core5a libqt5svg5 libqt5help5 libqwt-qt5-6 libhdf5-103-1 libhdf5-cpp-103-1
  libopencv-core406 libarmadillo11 zlib1g liblapack3 libblas3)

file(REMOVE_RECURSE "${TARGET_DIR}")
file(MAKE_DIRECTORY "${TARGET_DIR}/third party licenses")
file(GLOB _texts "${SOURCE_DIR}/*.md")
file(COPY ${_texts} DESTINATION "${TARGET_DIR}")
foreach(_package IN LISTS _packages)
  set(_copyright "/usr/share/doc/${_package}/copyright")
  if(EXISTS "${_copyright}")
    configure_file("${_copyright}" "${TARGET_DIR}/third party licenses/${_package}.copyright" COPYONLY)
  else()
    message(WARNING "No copyright file for ${_package} (${_copyright}); run scripts/install-deps.sh")
  endif()
endforeach()
