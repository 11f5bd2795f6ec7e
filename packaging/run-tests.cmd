@for %%t in ("%~dp0*tests.exe") do @("%%~t" || exit /b 1)
