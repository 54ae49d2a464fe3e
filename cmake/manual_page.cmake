# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD

# Installs the manual page $1 (man/NAME.1) with the version added to its
# footer, whose source names the project alone.
function(install_manual_page page)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${page})
  file(READ ${page} text)
  string(REPLACE "\n.Os sysdemos\n" "\n.Os sysdemos ${PROJECT_VERSION}\n" text "${text}")
  if(NOT text MATCHES "\n\\.Os sysdemos ${PROJECT_VERSION}\n")
    message(FATAL_ERROR "${page}: no footer line '.Os sysdemos' to add the version to")
  endif()
  file(CONFIGURE OUTPUT ${page} CONTENT "${text}" @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
