# What every request pays before main: the programs load as few shared
# libraries as possible. libldap (with the TLS and SASL libraries it pulls
# in, whose constructors run at every start) is not linked but loaded by
# platform/ldapclient/ldap_library.cpp when a page first needs the
# directory: LDAPCGI_LIBLDAP_SONAME is the name to load, read from the
# library found. The C++ runtime and libinih are linked statically where
# their static forms exist, leaving the C library alone.
execute_process(COMMAND ${CMAKE_OBJDUMP} -p ${LDAP_LIBRARY}
                OUTPUT_VARIABLE LDAP_LIBRARY_HEADERS ERROR_QUIET)
string(REGEX MATCH "SONAME +([^ \n]+)" LDAP_SONAME_LINE "${LDAP_LIBRARY_HEADERS}")
set(LDAPCGI_LIBLDAP_SONAME "${CMAKE_MATCH_1}")
if(NOT LDAPCGI_LIBLDAP_SONAME)
  message(FATAL_ERROR "cannot read the soname of ${LDAP_LIBRARY}")
endif()
message(STATUS "libldap loaded at run time as ${LDAPCGI_LIBLDAP_SONAME}")

# libinih: the static library when there is one.
find_library(INIH_STATIC_LIBRARY NAMES libinih.a HINTS ${INIH_LIBRARY_DIRS})
if(INIH_STATIC_LIBRARY)
  add_library(inih_static STATIC IMPORTED)
  set_target_properties(inih_static PROPERTIES IMPORTED_LOCATION ${INIH_STATIC_LIBRARY}
                        INTERFACE_INCLUDE_DIRECTORIES "${INIH_INCLUDE_DIRS}")
  set(LDAPCGI_INIH inih_static)
else()
  set(LDAPCGI_INIH PkgConfig::INIH)
endif()

# The C++ runtime linked in (not for the sanitizer build, whose runtime
# expects the shared one).
if(NOT LDAPCGI_SANITIZE)
  add_link_options(-static-libstdc++ -static-libgcc)
endif()

# The Debian package that holds that library, for the package's
# dependencies (dpkg-shlibdeps does not see a library loaded at run time).
get_filename_component(LDAP_LIBRARY_DIR ${LDAP_LIBRARY} DIRECTORY)
get_filename_component(LDAP_LIBRARY_DIR ${LDAP_LIBRARY_DIR} REALPATH)
execute_process(COMMAND dpkg-query -S ${LDAP_LIBRARY_DIR}/${LDAPCGI_LIBLDAP_SONAME}
                OUTPUT_VARIABLE LDAP_LIBRARY_OWNER ERROR_QUIET)
string(REGEX MATCH "^[^:]+" LDAPCGI_LIBLDAP_PACKAGE "${LDAP_LIBRARY_OWNER}")
