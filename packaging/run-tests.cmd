@echo off
rem Runs every test program in this folder to its end, even after a failure, and ends with one
rem line naming the programs that passed and those that failed. Exit code 1 when any failed.
setlocal
set "passed="
set "failed="
pushd "%~dp0"
for %%t in (*tests.exe) do call :run "%%~ft" "%%~nt"
popd
set "status=0"
if defined failed (set "status=1") else set "failed= none"
if not defined passed set "passed= none"
echo Passed:%passed%. Failed:%failed%.
exit /b %status%

rem A crash gives a negative exit code, so any code but 0 is a failure.
:run
"%~1"
if %errorlevel% neq 0 (set "failed=%failed% %~2") else set "passed=%passed% %~2"
exit /b 0
