# Every dependency is a Debian package installed by tools/setup.sh.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)

pkg_check_modules(GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0)
pkg_check_modules(WEBKIT REQUIRED IMPORTED_TARGET webkit2gtk-4.1)
pkg_check_modules(CAIRO REQUIRED IMPORTED_TARGET cairo)
pkg_check_modules(PANGO REQUIRED IMPORTED_TARGET pangocairo pango fontconfig)
pkg_check_modules(GIO REQUIRED IMPORTED_TARGET gio-2.0 gio-unix-2.0 glib-2.0)
pkg_check_modules(CURL REQUIRED IMPORTED_TARGET libcurl)
pkg_check_modules(SQLITE REQUIRED IMPORTED_TARGET sqlite3)
pkg_check_modules(PNG REQUIRED IMPORTED_TARGET libpng)
pkg_check_modules(CRYPTO REQUIRED IMPORTED_TARGET libcrypto)

# Debian's libtinyxml-dev ships a pkg-config file; the library is built with STL strings.
pkg_check_modules(TINYXML REQUIRED IMPORTED_TARGET tinyxml)

find_package(nlohmann_json 3 REQUIRED)
find_package(GTest REQUIRED)
find_package(benchmark REQUIRED)

# Debian builds cpp-httplib as a shared library (libcpp-httplib.so); its header
# must be compiled with the library's feature defines, which pkg-config gives.
pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
add_library(torvane_httplib INTERFACE)
target_link_libraries(torvane_httplib INTERFACE PkgConfig::HTTPLIB Threads::Threads)
