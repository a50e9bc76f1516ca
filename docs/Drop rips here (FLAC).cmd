@echo off
rem Converts the rips dropped on this file to FLAC, each beside its source; orvane.exe must
rem be in the same folder as this file.
"%~dp0orvane.exe" --batch flac %*
pause
