# SPDX-License-Identifier: GPL-3.0-or-later
# Run by cpack after packing: cpack gives the .deb's three ar members (debian-binary,
# control.tar.*, data.tar.*) the modes of the files it wrote, which follow the
# builder's umask. Each member's mode becomes 0644, as dpkg-deb writes it, so that the
# package's bytes do not depend on the umask. The tarballs inside are not touched.
find_program(DD_EXECUTABLE dd REQUIRED)
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT deb MATCHES "\\.deb$")
    continue()
  endif()
  file(SIZE "${deb}" size)
  set(offset 8) # after "!<arch>\n"
  while(offset LESS size)
    # A member's 60-byte header: name 16, date 12, owner 6, group 6, mode 8, size 10, "`\n".
    file(READ "${deb}" header OFFSET ${offset} LIMIT 60)
    string(SUBSTRING "${header}" 48 10 member_size)
    string(STRIP "${member_size}" member_size)
    if(NOT member_size MATCHES "^[0-9]+$")
      message(FATAL_ERROR "${deb}: no ar member header at byte ${offset}")
    endif()
    math(EXPR mode_at "${offset} + 40")
    execute_process(
      COMMAND sh -c "printf '100644  ' | '${DD_EXECUTABLE}' of='${deb}' bs=1 seek=${mode_at} conv=notrunc status=none"
      RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "${deb}: could not set the mode of the member at byte ${offset}")
    endif()
    math(EXPR offset "${offset} + 60 + ${member_size} + ${member_size} % 2")
  endwhile()
endforeach()
