# System libraries found through pkg-config (all from Debian packages installed by tools/setup).
find_package(PkgConfig REQUIRED)
pkg_check_modules(RTMIDI REQUIRED IMPORTED_TARGET rtmidi)
pkg_check_modules(AVAHI_COMPAT REQUIRED IMPORTED_TARGET avahi-compat-libdns_sd)
pkg_check_modules(QRCODEGEN REQUIRED IMPORTED_TARGET qrcodegencpp)
