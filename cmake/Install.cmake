# Installation and the Debian package. The installed tree follows the Filesystem Hierarchy Standard:
#   bin/vldemo -> ../lib/vldemo/vldemo   the program, started through a symbolic link
#   bin/vldata, bin/vlreport             the tools
#   lib/vldemo/                          the program file, libvlcom.so, the viewer plug-in and its
#                                        registration, test.vld -> ../../share/vldemo/test.vld
#   share/vldemo/                        the templates (test.vld, grouped.vld) and logo.svg; samples/ the sample database
#   share/applications, share/icons      the desktop entry and its icon
#   share/man/man1                       the manual pages of the tools
# The program looks for its template and its plug-in beside its own file (/proc/self/exe, which the
# kernel reports with every symbolic link resolved), so lib/vldemo/ looks to it as the run folder does.
include(GNUInstallDirs)
if(NOT (TARGET vldemo AND TARGET vldata AND TARGET vlreport AND TARGET vldesigner))
  return()
endif()

# Installing and packaging take what is built and never start a build of everything first: the
# package test runs inside ctest, after the build.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(VL_INSTALL_PRIVATE_DIR lib/${PROJECT_NAME})
set(VL_INSTALL_DATA_DIR ${CMAKE_INSTALL_DATADIR}/${PROJECT_NAME})

# Everything that runs from lib/vldemo/ finds libvlcom.so beside it; the tools find it from bin/.
set_target_properties(vldemo vl_reportctl PROPERTIES INSTALL_RPATH "$ORIGIN")
set_target_properties(vldata vlreport vldesigner PROPERTIES INSTALL_RPATH "$ORIGIN/../${VL_INSTALL_PRIVATE_DIR}")

install(TARGETS vldemo vl_com vl_reportctl
  RUNTIME DESTINATION ${VL_INSTALL_PRIVATE_DIR}
  LIBRARY DESTINATION ${VL_INSTALL_PRIVATE_DIR})
install(TARGETS vldata vlreport vldesigner RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${VL_RUN_DIR}/vlreportctl.classreg DESTINATION ${VL_INSTALL_PRIVATE_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/samples/test.vld ${PROJECT_SOURCE_DIR}/samples/grouped.vld ${PROJECT_SOURCE_DIR}/samples/logo.svg
  DESTINATION ${VL_INSTALL_DATA_DIR})
install(FILES ${VL_RUN_DIR}/test.mdb ${PROJECT_SOURCE_DIR}/samples/test.sql
  DESTINATION ${VL_INSTALL_DATA_DIR}/samples)

# Relative links, made once in the build tree and installed as links, so they hold under any prefix,
# DESTDIR and dpkg -x root alike.
set(VL_LINK_DIR ${CMAKE_BINARY_DIR}/install-links)
file(MAKE_DIRECTORY ${VL_LINK_DIR}/bin ${VL_LINK_DIR}/private)
file(CREATE_LINK ../${VL_INSTALL_PRIVATE_DIR}/vldemo ${VL_LINK_DIR}/bin/vldemo SYMBOLIC)
file(RELATIVE_PATH VL_TEMPLATE_FROM_PRIVATE /${VL_INSTALL_PRIVATE_DIR} /${VL_INSTALL_DATA_DIR}/test.vld)
file(CREATE_LINK ${VL_TEMPLATE_FROM_PRIVATE} ${VL_LINK_DIR}/private/test.vld SYMBOLIC)
# The template finds its logo beside the file it is opened as.
file(RELATIVE_PATH VL_LOGO_FROM_PRIVATE /${VL_INSTALL_PRIVATE_DIR} /${VL_INSTALL_DATA_DIR}/logo.svg)
file(CREATE_LINK ${VL_LOGO_FROM_PRIVATE} ${VL_LINK_DIR}/private/logo.svg SYMBOLIC)
install(FILES ${VL_LINK_DIR}/bin/vldemo DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${VL_LINK_DIR}/private/test.vld ${VL_LINK_DIR}/private/logo.svg DESTINATION ${VL_INSTALL_PRIVATE_DIR})

# The desktop entry starts the program in the samples folder, where its connection finds test.mdb.
# That folder depends on the prefix, known only when installing; the entry is written straight to its
# place, so that installations into several roots at once never share a file.
install(CODE "
  get_filename_component(VL_PREFIX \"\${CMAKE_INSTALL_PREFIX}\" ABSOLUTE)
  set(VL_SAMPLES_DIR \"\${VL_PREFIX}/${VL_INSTALL_DATA_DIR}/samples\")
  set(VL_DESKTOP_FILE \"\$ENV{DESTDIR}\${VL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications/vldemo.desktop\")
  message(STATUS \"Installing: \${VL_DESKTOP_FILE}\")
  configure_file(\"${PROJECT_SOURCE_DIR}/app/vldemo.desktop.in\" \"\${VL_DESKTOP_FILE}\" @ONLY)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${VL_DESKTOP_FILE}\")
")
install(FILES ${PROJECT_SOURCE_DIR}/app/vldemo.svg ${PROJECT_SOURCE_DIR}/tools/vldesigner/vldesigner.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/tools/vldesigner/vldesigner.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# Manual pages, compressed as Debian installs them.
find_program(VL_GZIP gzip REQUIRED)
set(VL_MAN_PAGES)
foreach(page vldata.1 vlreport.1 vldesigner.1)
  set(compressed ${CMAKE_BINARY_DIR}/man/${page}.gz)
  add_custom_command(OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${VL_GZIP} -n -9 -c ${PROJECT_SOURCE_DIR}/docs/man/${page} > ${compressed}
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/${page}
    COMMENT "Compressing the manual page ${page}")
  list(APPEND VL_MAN_PAGES ${compressed})
endforeach()
add_custom_target(vl_man_pages ALL DEPENDS ${VL_MAN_PAGES})
install(FILES ${VL_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/install.md
  DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The Debian package. Its dependencies are what dpkg-shlibdeps finds the installed files linked
# against; libvlcom.so is the package's own, found through the files' run paths.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "vldemo developers")
set(CPACK_PACKAGE_CONTACT "vldemo developers <vldemo@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop report demonstration with a report viewer and batch tools")
set(CPACK_PACKAGE_DESCRIPTION "One window that opens a report template, loads the sample data as an XML
data document, prints and previews it; vldata writes the data document of database queries and
vlreport renders a template over it to PDF or PNG pages.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Also searched directly, relative to the package root dpkg-shlibdeps runs in, should a run path change.
string(REGEX REPLACE "^/" "" VL_PACKAGE_ROOT_PREFIX "${CPACK_PACKAGING_INSTALL_PREFIX}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${VL_PACKAGE_ROOT_PREFIX}/${VL_INSTALL_PRIVATE_DIR})
# Said by hand only what no linker records: the font the templates name, loaded through fontconfig.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-wqy-microhei)
set(CPACK_STRIP_FILES ON)
include(CPack)
