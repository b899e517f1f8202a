# Sourced by package.sh and test.sh: package_build_flags TOP sets build_flags to the CMake
# arguments of the build a package is made from. RelWithDebInfo (-O2 -g, as Debian builds its own
# packages; CPack strips the program) with the flags dpkg-buildflags gives dpkg-buildpackage with
# every hardening feature (fortify, stack protector, relro, bind now). dpkg-buildflags maps the
# folder it runs in out of file names (-ffile-prefix-map), so it runs in the top folder: the
# flags are the same every time, and test.sh's build, made with them, is packaged as it is.
package_build_flags() {
    local top=$1
    deb_flags() { (cd "$top" && DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"); }
    command -v dpkg-buildflags >/dev/null || {
        echo "dpkg-buildflags is missing (package dpkg-dev; scripts/install-deps.sh installs it)" >&2
        return 1
    }
    build_flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo
        "-DCMAKE_CXX_FLAGS=$(deb_flags CPPFLAGS) $(deb_flags CXXFLAGS)"
        "-DCMAKE_EXE_LINKER_FLAGS=$(deb_flags LDFLAGS)")
}
