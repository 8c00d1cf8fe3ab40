# Installation and the Debian package. `cmake --install BUILD --prefix /usr`
# (or the package that `cpack -G DEB` makes in BUILD) places:
#   lib/ldapcgi/ldapcgi.cgi, aliastable, usertransfer  the programs
#   share/ldapcgi/www/                                 start page, style sheet, banner images, help pages
#   share/ldapcgi/schema/mailsystem.schema             the directory schema
#   share/doc/ldapcgi/                                 README, docs/, the table format and examples/: XOMTA.INI, the lighttpd
#                                                      and Apache configurations, a dedicated slapd
# The web server configurations are written at install time with the
# installed paths and the content security policy of
# install/content-security-policy. The live configuration stays the site's:
# /etc/xomta/XOMTA.INI and the web server's password file are not installed.

set(LDAPCGI_PROGRAM_DIR lib/ldapcgi)
set(LDAPCGI_DATA_DIR share/ldapcgi)
set(LDAPCGI_DOC_DIR share/doc/ldapcgi)
set(LDAPCGI_CONFIG_DIR /etc/xomta)
set(LDAPCGI_USERS_FILE /etc/ldapcgi/htpasswd)

foreach(program ldapcgi_cgi aliastable_tool usertransfer_tool)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${LDAPCGI_PROGRAM_DIR})
  endif()
endforeach()

install(DIRECTORY ${CMAKE_SOURCE_DIR}/web/ DESTINATION ${LDAPCGI_DATA_DIR}/www)
install(FILES ${CMAKE_SOURCE_DIR}/schema/mailsystem.schema DESTINATION ${LDAPCGI_DATA_DIR}/schema)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${LDAPCGI_DOC_DIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/ DESTINATION ${LDAPCGI_DOC_DIR}/docs)
install(FILES ${CMAKE_SOURCE_DIR}/platform/recbase/ALIAS_TABLE_FORMAT.md
        DESTINATION ${LDAPCGI_DOC_DIR}/platform/recbase)
install(FILES ${CMAKE_SOURCE_DIR}/install/XOMTA.INI
              ${CMAKE_SOURCE_DIR}/scripts/sample-data.ldif
        DESTINATION ${LDAPCGI_DOC_DIR}/examples)
install(FILES ${CMAKE_SOURCE_DIR}/install/slapd/slapd.conf
              ${CMAKE_SOURCE_DIR}/install/slapd/slapd-config.ldif
              ${CMAKE_SOURCE_DIR}/install/slapd/slapd-providers.conf
        DESTINATION ${LDAPCGI_DOC_DIR}/examples/slapd)

# Web server configurations, filled in with the prefix of this install.
set(LDAPCGI_EXAMPLES_BUILD ${CMAKE_BINARY_DIR}/install-examples)
install(CODE "
  file(READ \"${CMAKE_SOURCE_DIR}/install/content-security-policy\" CSP)
  string(STRIP \"\${CSP}\" CSP)
  set(URL_SCOPE \"^/vemo/\")
  set(AUTH_PREFIX \"/vemo/\")
  set(CGI_DIR \"\${CMAKE_INSTALL_PREFIX}/${LDAPCGI_PROGRAM_DIR}\")
  set(WEB_DIR \"\${CMAKE_INSTALL_PREFIX}/${LDAPCGI_DATA_DIR}/www\")
  set(USERS_FILE \"${LDAPCGI_USERS_FILE}\")
  set(CONFIG_DIR \"${LDAPCGI_CONFIG_DIR}\")
  configure_file(\"${CMAKE_SOURCE_DIR}/install/lighttpd/ldapcgi.conf.in\"
                 \"${LDAPCGI_EXAMPLES_BUILD}/lighttpd-ldapcgi.conf\" @ONLY)
  configure_file(\"${CMAKE_SOURCE_DIR}/install/apache/ldapcgi.conf.in\"
                 \"${LDAPCGI_EXAMPLES_BUILD}/apache-ldapcgi.conf\" @ONLY)
")
install(FILES ${LDAPCGI_EXAMPLES_BUILD}/lighttpd-ldapcgi.conf ${LDAPCGI_EXAMPLES_BUILD}/apache-ldapcgi.conf
        DESTINATION ${LDAPCGI_DOC_DIR}/examples)

# The cn=config form of the slapd example must say what slapd.conf says.
find_program(LDAPCGI_SLAPTEST slaptest PATHS /usr/sbin)
if(LDAPCGI_SLAPTEST)
  add_test(NAME slapd_config_ldif COMMAND ${CMAKE_SOURCE_DIR}/scripts/slapd-config-ldif --check)
  set_tests_properties(slapd_config_ldif PROPERTIES ENVIRONMENT "PATH=/usr/sbin:/usr/bin:/bin")
endif()

# The Debian package: `cpack -G DEB` in the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ldapcgi)
set(CPACK_PACKAGE_VERSION 1.0.0)
set(CPACK_PACKAGE_CONTACT "LDAP CGI maintainers <postmaster@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "web administration of a mail server's LDAP directory")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "A CGI program through which a mail server's administrator manages the\n\
LDAP directory from a browser: mail users, their aliases and connectors,\n\
the domain tree, and the build of the mail alias table. Ships the web\n\
resources, the directory schema, and example configurations for lighttpd,\n\
Apache and a dedicated slapd instance.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
# Library dependencies come from dpkg-shlibdeps (libc: the C++ runtime and
# libinih are linked in), but for libldap, which the program loads when a
# page first needs the directory; the web server is the site's choice.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(LDAPCGI_LIBLDAP_PACKAGE)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${LDAPCGI_LIBLDAP_PACKAGE}")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "lighttpd | apache2")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "slapd, ldap-utils")
include(CPack)
