# What the project's Debian packages share, each of one program, made by CPack from an install
# component of its own. x11/ and wayland/ call these for the hack's package and the Wayland
# client's.

# Where Debian keeps programs and their documents.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
    set(CMAKE_INSTALL_PREFIX /usr CACHE PATH "Install prefix" FORCE)
endif()
set(VOIDRUNNER_DEB_MAINTAINER "Voidrunner 3D developers <voidrunner3d@invalid>" CACHE STRING
    "The Debian packages' maintainer, as name <address>")

# Installs TARGET into DESTINATION (relative to the prefix) as part of COMPONENT. A stripping
# install (CPack's) also removes the compiler's .comment and .note sections, as Debian's own
# packaging does.
function(voidrunner_deb_program target destination component)
    install(TARGETS ${target} RUNTIME DESTINATION ${destination} COMPONENT ${component})
    set(file "\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${destination}/$<TARGET_FILE_NAME:${target}>")
    install(CODE "if(CMAKE_INSTALL_DO_STRIP)
        execute_process(COMMAND ${CMAKE_STRIP} --remove-section=.comment --remove-section=.note
                                \"${file}\" COMMAND_ERROR_IS_FATAL ANY)
    endif()" COMPONENT ${component})
endfunction()

# What Debian asks of every package, installed with COMPONENT into share/doc/PACKAGE: the
# COPYRIGHT file and, as the version has no Debian revision (a native package), its changelog,
# one entry at the source date, made as it is installed.
function(voidrunner_deb_documents package component copyright)
    set(doc share/doc/${package})
    install(FILES ${copyright} DESTINATION ${doc} RENAME copyright COMPONENT ${component})
    install(CODE "execute_process(COMMAND ${PROJECT_SOURCE_DIR}/package/at-source-date
        ${PROJECT_SOURCE_DIR}/package/make-deb-changelog
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${doc}/changelog.gz\" ${package}
        ${PROJECT_VERSION} \"${VOIDRUNNER_DEB_MAINTAINER}\" COMMAND_ERROR_IS_FATAL ANY)"
        COMPONENT ${component})
endfunction()

# Adds the package that the CPack configuration made from CONFIG_IN describes (its path left in
# deb_config) to the target deb, which first builds the targets named after it.
function(voidrunner_deb_package config_in)
    set(config ${CMAKE_CURRENT_BINARY_DIR}/CPackDebConfig.cmake)
    configure_file(${config_in} ${config} @ONLY)
    set_property(GLOBAL APPEND PROPERTY voidrunner_deb_configs ${config})
    set_property(GLOBAL APPEND PROPERTY voidrunner_deb_targets ${ARGN})
    set(deb_config ${config} PARENT_SCOPE)
endfunction()

# The target deb: every package added above, PACKAGE_<version>_amd64.deb in the build folder,
# one after the other, since each CPack run first builds the whole tree. CPack dates every
# member SOURCE_DATE_EPOCH, which the wrapper sets from the sources.
function(voidrunner_deb_target)
    get_property(configs GLOBAL PROPERTY voidrunner_deb_configs)
    get_property(targets GLOBAL PROPERTY voidrunner_deb_targets)
    if(NOT configs)
        return()
    endif()
    set(commands)
    foreach(config ${configs})
        list(APPEND commands COMMAND ${PROJECT_SOURCE_DIR}/package/at-source-date
                             ${CMAKE_CPACK_COMMAND} --config ${config})
    endforeach()
    add_custom_target(deb ${commands} WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
        COMMENT "Building the Debian packages" VERBATIM)
    add_dependencies(deb ${targets})
endfunction()
