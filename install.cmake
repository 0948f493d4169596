# Desktop integration: what `cmake --install` puts beside the program and its tools (which
# install themselves): the XScreenSaver settings file and the link where XScreenSaver looks for
# its programs, a desktop entry for the configuration dialog, the icon in the hicolor theme,
# and the manual page.
include(GNUInstallDirs)

# Everything the installation takes from the build: `cmake --build build --target installable`
# is enough for `cmake --install` and cpack.
add_custom_target(installable)
add_dependencies(installable hoardel3d hoardel-rar hoardel-xdump)

# hoardel_gzip(TARGET IN OUT): OUT is IN compressed as Debian ships documents (gzip -9n: no
# name or time stamp inside, so the result depends on IN alone), made by TARGET.
find_program(HOARDEL_GZIP gzip REQUIRED)
function(hoardel_gzip target in out)
  get_filename_component(dir ${out} DIRECTORY)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND sh -c "'${HOARDEL_GZIP}' -9nc \"$1\" > \"$2\"" gzip ${in} ${out}
    DEPENDS ${in}
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${out})
  add_dependencies(installable ${target})
endfunction()

# The icon theme's PNG sizes, made from the program's icon resource 224.
set(HOARDEL_ICON_SIZES 16 22 24 32 48)
set(HOARDEL_ICON_SOURCE ${PROJECT_BINARY_DIR}/media/files/res/224.ico)
set(icon_outputs "")
foreach(size IN LISTS HOARDEL_ICON_SIZES)
  set(png ${PROJECT_BINARY_DIR}/icons/${size}x${size}/hoardel3d.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/icons/${size}x${size}
    COMMAND hoardel-iconpng ${HOARDEL_ICON_SOURCE} ${size} ${png}
    DEPENDS hoardel-iconpng ${PROJECT_BINARY_DIR}/media/files.stamp
    COMMENT "Icon ${size}x${size}"
    VERBATIM)
  list(APPEND icon_outputs ${png})
  install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(hoardel_icons ALL DEPENDS ${icon_outputs})
add_dependencies(hoardel_icons hoardel_media_files)
add_dependencies(installable hoardel_icons)

install(FILES data/hoardel3d.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/xscreensaver/config)
install(FILES data/hoardel3d.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
hoardel_gzip(hoardel_manpage ${PROJECT_SOURCE_DIR}/docs/hoardel3d.6 ${PROJECT_BINARY_DIR}/man/hoardel3d.6.gz)
install(FILES ${PROJECT_BINARY_DIR}/man/hoardel3d.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
foreach(tool hoardel-rar hoardel-xdump)
  hoardel_gzip(${tool}_manpage ${PROJECT_SOURCE_DIR}/docs/${tool}.1 ${PROJECT_BINARY_DIR}/man/${tool}.1.gz)
  install(FILES ${PROJECT_BINARY_DIR}/man/${tool}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
# XScreenSaver runs its programs from libexec/xscreensaver; a relative link keeps the
# installed tree movable (DESTDIR, staging).
install(CODE [[
  set(dir "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/libexec/xscreensaver")
  file(MAKE_DIRECTORY "${dir}")
  file(CREATE_LINK "../../bin/hoardel3d" "${dir}/hoardel3d" SYMBOLIC)
  message(STATUS "Installing: ${dir}/hoardel3d -> ../../bin/hoardel3d")
]])

# Tests: an installation into a temporary prefix.
hoardel_test(install_tests LABEL e2e SOURCES tests/install/install_test.cpp LIBS hoardel_run_options PNG::PNG ZLIB::ZLIB)
target_compile_definitions(install_tests PRIVATE HOARDEL_CMAKE_COMMAND="${CMAKE_COMMAND}")
add_dependencies(install_tests installable)
hoardel_test(xscreensaver_e2e_tests LABEL e2e SOURCES tests/install/xscreensaver_e2e_test.cpp LIBS PkgConfig::X11
             TIMEOUT 120)
target_compile_definitions(xscreensaver_e2e_tests PRIVATE HOARDEL_EXECUTABLE="$<TARGET_FILE:hoardel3d>")
add_dependencies(xscreensaver_e2e_tests hoardel3d)
