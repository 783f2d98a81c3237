# Records the top-left 640x480 of the screen for five seconds into demo.avi beside this script.
# Run: powershell -File record.ps1   (Vidorra must have been started once, to register itself)
$vidorra = New-Object -ComObject Vidorra.Application
$vidorra.StartX = 0; $vidorra.StartY = 0
$vidorra.Width = 640; $vidorra.Height = 480
$vidorra.FrameRate = 15
$vidorra.FileName = Join-Path $PSScriptRoot 'demo.avi'
[void]$vidorra.StartRec()
while ($vidorra.GetRecordState() -ne 1) { Start-Sleep -Milliseconds 100 }
Start-Sleep -Seconds 5
[void]$vidorra.StopRec()
"Recorded $($vidorra.FileName)"
[void][Runtime.InteropServices.Marshal]::ReleaseComObject($vidorra)
