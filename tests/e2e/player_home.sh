# Sourced by end-to-end scripts before they make their fixtures, after they set $program (the player to
# run) and $out (their scratch folder, emptied here). A private copy of the program goes to $out/bin, so
# the DEBUG.LOG beside it ($log) is this test's own; $settings names the settings file and $m the media
# folder. The environment lets nothing wait for a person and nothing of the user's be read or written:
# X11 only, the dummy sound device, the config and state folders inside $out, message boxes answered and
# no file chooser. A script changes what it needs after sourcing (another sound driver, a chooser).
rm -rf "$out"
mkdir -p "$out/bin" "$out/config/sublumen" "$out/state" "$out/media"
cp "$program" "$out/bin/sublumen"
log=$out/bin/DEBUG.LOG
settings=$out/config/sublumen/settings
m=$out/media
unset SDL_VIDEODRIVER WAYLAND_DISPLAY
export SDL_AUDIODRIVER=dummy XDG_CONFIG_HOME="$out/config" XDG_STATE_HOME="$out/state"
export SUBLUMEN_MESSAGEBOX_ANSWER=ok SUBLUMEN_FILE_CHOOSER=/bin/false
