# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
# Installs the manual page $1 (NAME/NAME.1) with the version added to its
# footer, '.Os sysdemos'; nothing else in it is taken for a variable.
function(install_manual_page page)
  file(READ ${page} text)
  string(REPLACE "\n.Os sysdemos\n" "\n.Os sysdemos ${PROJECT_VERSION}\n" text "${text}")
  if(NOT text MATCHES "\n\\.Os sysdemos ${PROJECT_VERSION}\n")
    message(FATAL_ERROR "${page}: no footer line '.Os sysdemos' to add the version to")
  endif()
  get_filename_component(name ${page} NAME)
  # Copied only when it changes, so that an install leaves it be.
  file(WRITE ${PROJECT_BINARY_DIR}/man1/${name}.in "${text}")
  configure_file(${PROJECT_BINARY_DIR}/man1/${name}.in ${PROJECT_BINARY_DIR}/man1/${name} COPYONLY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${page})
  install(FILES ${PROJECT_BINARY_DIR}/man1/${name} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
