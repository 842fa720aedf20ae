# Boost.Beast and Asio are header-only and build with mingw-w64 as they are.
# The cross build searches only the mingw-w64 tree, and naming the build
# machine's /usr/include would put its C library ahead of mingw-w64's, so the
# build machine's Boost headers (Debian's libboost-dev) are offered through a
# folder that holds nothing but them.
if(DEFINED Boost_INCLUDE_DIR OR NOT EXISTS /usr/include/boost/version.hpp)
  return()
endif()
set(cross_boost ${CMAKE_BINARY_DIR}/boost-headers)
file(MAKE_DIRECTORY ${cross_boost})
if(NOT EXISTS ${cross_boost}/boost)
  file(CREATE_LINK /usr/include/boost ${cross_boost}/boost SYMBOLIC)
endif()
set(Boost_INCLUDE_DIR ${cross_boost} CACHE PATH "Boost headers for the cross build")
set(Boost_NO_BOOST_CMAKE ON CACHE BOOL "Boost comes from its headers alone here")
