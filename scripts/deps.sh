#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build and test the server: a compiler, CMake,
# GoogleTest, libcurl (the lobby's web request), the operator tools' libraries (CLI11 for
# arguments, nlohmann-json for JSON, cpp-httplib for the live timing page) and Chromium, whose
# headless mode tests that page in a real browser, libsystemd (readiness and watchdog) and lintian
# (the package's check). Nothing is installed when everything is
# already there.
set -euo pipefail
missing=()
command -v cmake >/dev/null 2>&1 || missing+=(cmake)
command -v g++ >/dev/null 2>&1 || missing+=(g++)
command -v make >/dev/null 2>&1 || missing+=(make)
dpkg -s libgtest-dev >/dev/null 2>&1 || missing+=(libgtest-dev)
dpkg -s libgmock-dev >/dev/null 2>&1 || missing+=(libgmock-dev)
dpkg -s libcurl4-openssl-dev >/dev/null 2>&1 || missing+=(libcurl4-openssl-dev)
dpkg -s libcli11-dev >/dev/null 2>&1 || missing+=(libcli11-dev)
# The fuzz targets are built with clang's libFuzzer.
command -v clang++ >/dev/null 2>&1 || missing+=(clang)
dpkg -s libclang-rt-14-dev >/dev/null 2>&1 || missing+=(libclang-rt-14-dev)
# `make fuzz` reports each target's inputs per CPU second beside libFuzzer's own count.
[ -x /usr/bin/time ] || missing+=(time)
dpkg -s nlohmann-json3-dev >/dev/null 2>&1 || missing+=(nlohmann-json3-dev)
dpkg -s libcpp-httplib-dev >/dev/null 2>&1 || missing+=(libcpp-httplib-dev)
# The fleet test reads the fleet manifests with a real YAML parser.
dpkg -s libyaml-cpp-dev >/dev/null 2>&1 || missing+=(libyaml-cpp-dev)
command -v chromium >/dev/null 2>&1 || missing+=(chromium)
# sd_notify: the server tells systemd it is ready, what the event is doing, and that its loop
# turns (watchdog).
dpkg -s libsystemd-dev >/dev/null 2>&1 || missing+=(libsystemd-dev)
# `make package-check` runs lintian on the built Debian package.
command -v lintian >/dev/null 2>&1 || missing+=(lintian)
# The league database: SQLite embedded, PostgreSQL through libpqxx for a league of several hosts;
# the server package gives the league's tests a private cluster of their own.
dpkg -s libsqlite3-dev >/dev/null 2>&1 || missing+=(libsqlite3-dev)
dpkg -s libpqxx-dev >/dev/null 2>&1 || missing+=(libpqxx-dev)
dpkg -s postgresql >/dev/null 2>&1 || missing+=(postgresql)
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    sudo_cmd=""
    if [ "$(id -u)" -ne 0 ]; then sudo_cmd="sudo"; fi
    $sudo_cmd apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
fi
