# The Debian package of the demo host product carrying the helper
# (scripts/package builds it, scripts/package-check tries it). Its contents
# are what `cmake --install` lays out; docs/packaging.md says why each
# setting is as it is.
set(package quillmont-demo)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${package})
set(CPACK_PACKAGE_VERSION "${QUILLMONT_DEMO_VERSION}")
set(CPACK_PACKAGE_CONTACT "DI Raruru developers <raruru@tallowcraft.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "stand-in Quillmont host product with the DI Raruru disc helper")
# CPack puts the summary in front of this as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "DI Raruru is a desktop helper that watches mounted volumes, identifies
Windows installer discs with the host product's detectcd tool and offers
to install them.
.
This package holds the demo host product the helper's tests and demo use:
a Quillmont bundle whose program only records what it is asked to open,
carrying the helper and its raruru-cdtools tool as a real host does.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's Wayland platform: without it the helper's prompt falls back to X11.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Debian ships programs stripped as its dh_strip does it (CMake's own strip
# keeps the compiler's .comment notes); the build folder keeps the debug
# files. Every file in a bundle's MacOS or Helpers folder is a program.
if(IS_ABSOLUTE "${RARURU_HOST_BUNDLE}")
    set(host "${RARURU_HOST_BUNDLE}")
else()
    set(host "\${CMAKE_INSTALL_PREFIX}/${RARURU_HOST_BUNDLE}")
endif()
install(CODE "
    file(GLOB programs \"\$ENV{DESTDIR}${host}/Contents/MacOS/*\"
         \"\$ENV{DESTDIR}${host}/Contents/Resources/*.app/Contents/MacOS/*\"
         \"\$ENV{DESTDIR}${host}/Contents/Resources/*.app/Contents/Helpers/*\")
    execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded --remove-section=.comment
                            --remove-section=.note \${programs} COMMAND_ERROR_IS_FATAL ANY)")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

# Debian's documentation files: the copyright and a compressed changelog.
set(doc "${CMAKE_BINARY_DIR}/package-doc")
string(TIMESTAMP QUILLMONT_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file("${CMAKE_SOURCE_DIR}/demo/hostproduct/changelog.in" "${doc}/changelog" @ONLY)
add_custom_command(OUTPUT "${doc}/changelog.gz"
    COMMAND gzip -9nkf "${doc}/changelog"
    DEPENDS "${doc}/changelog" VERBATIM)
add_custom_target(quillmont_package_doc ALL DEPENDS "${doc}/changelog.gz")
install(FILES "${CMAKE_SOURCE_DIR}/demo/hostproduct/copyright" "${doc}/changelog.gz"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/${package}")
# What lintian reports on purpose (docs/packaging.md says why).
install(FILES "${CMAKE_SOURCE_DIR}/demo/hostproduct/lintian-overrides"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/lintian/overrides" RENAME ${package})

include(CPack)
