# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD

# Installs the manual page $1 (NAME/NAME.1) with the version added to its
# footer, whose source names the project alone.  The page is copied as it
# is otherwise: nothing in it is taken for a variable.
function(install_manual_page page)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${page})
  file(READ ${page} text)
  string(REPLACE "\n.Os sysdemos\n" "\n.Os sysdemos ${PROJECT_VERSION}\n" text "${text}")
  if(NOT text MATCHES "\n\\.Os sysdemos ${PROJECT_VERSION}\n")
    message(FATAL_ERROR "${page}: no footer line '.Os sysdemos' to add the version to")
  endif()
  get_filename_component(name ${page} NAME)
  set(versioned ${PROJECT_BINARY_DIR}/man1/${name})
  # Written only when it changes, so that an install leaves it be.
  set(old "")
  if(EXISTS ${versioned})
    file(READ ${versioned} old)
  endif()
  if(NOT old STREQUAL text)
    file(WRITE ${versioned} "${text}")
  endif()
  install(FILES ${versioned} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
