:; # Brevion Notes: opens the note given on the command line, or the readme. #
:; # Lines beginning ":;" run under a POSIX shell, where ":" does nothing;    #
:; # cmd.exe reads them as labels and passes over them.                      #
:; note="${1:-$(dirname "$0")/Readme.txt}" #
:; if [ -n "$VISUAL$EDITOR" ]; then exec ${VISUAL:-$EDITOR} "$note"; fi #
:; exec gtk-launch "$(xdg-mime query default text/plain)" "$note" #
@echo off
rem Brevion Notes: opens the note given on the command line, or the readme.
if "%~1"=="" (start "" notepad "%~dp0Readme.txt") else (start "" notepad "%~1")
