# shellcheck shell=bash
# Sourced by the scripts that start wine: the environment wine's runs depend on, set here so that
# they do not depend on the caller's. Expects $root, the top of the source tree.
# - The prefix and wine's home live in the build tree, never in the caller's home.
# - Wine takes the code page for file names and the console from the locale: under the C locale
#   (LANG unset, as under `env -i`) a name beyond ASCII cannot be created. C.UTF-8 is built into
#   the C library, so no locales package is needed.
# - TZ is left as it is: it changes only the zip entries' date and time, which no test compares.
export WINEPREFIX="${root:?the sourcing script sets root}/build/windows/wine"
# Wine writes menu entries, file associations and caches to the home folder's ~/.config,
# ~/.local and ~/.cache: a home of its own in the build tree keeps the caller's untouched.
export HOME="$root/build/windows/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share" XDG_CACHE_HOME="$HOME/.cache"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME"
export WINEDEBUG=-all
export WINELOADER=/usr/lib/wine/wine64
export DISPLAY=
export LANG=C.UTF-8 LC_ALL=C.UTF-8
unset LANGUAGE
