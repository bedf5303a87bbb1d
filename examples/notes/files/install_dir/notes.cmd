@echo off
rem Brevion Notes: opens the note given on the command line, or the readme.
if "%~1"=="" (start "" notepad "%~dp0Readme.txt") else (start "" notepad "%~1")
