# SPDX-License-Identifier: GPL-2.0-or-later
# Run by CPack after it has made the packages. Its debug-symbol package lists the
# build tree's absolute paths in its md5sums and carries no documentation: it is
# rebuilt the way Debian's own -dbgsym packages are made, with the sums of its own
# files, its files 0644, and its documentation directory a link to the player's.
foreach(ddeb IN LISTS CPACK_PACKAGE_FILES)
    if(NOT ddeb MATCHES "\\.ddeb$")
        continue()
    endif()
    set(tree ${ddeb}.tree)
    file(REMOVE_RECURSE ${tree})
    execute_process(COMMAND dpkg-deb -R ${ddeb} ${tree} COMMAND_ERROR_IS_FATAL ANY)
    file(GLOB_RECURSE files RELATIVE ${tree} ${tree}/usr/*)
    list(SORT files)
    foreach(f IN LISTS files)
        file(CHMOD ${tree}/${f} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    endforeach()
    execute_process(COMMAND md5sum ${files} WORKING_DIRECTORY ${tree} OUTPUT_FILE ${tree}/DEBIAN/md5sums
        COMMAND_ERROR_IS_FATAL ANY)
    file(MAKE_DIRECTORY ${tree}/usr/share/doc)
    file(CREATE_LINK player ${tree}/usr/share/doc/player-dbgsym SYMBOLIC)
    execute_process(COMMAND dpkg-deb --root-owner-group --build ${tree} ${ddeb} OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
    file(REMOVE_RECURSE ${tree})
endforeach()
