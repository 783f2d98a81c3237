' Records the top-left 640x480 of the screen for five seconds into demo.avi beside this script.
' Run: cscript //nologo record.vbs   (Vidorra must have been started once, to register itself)
Set fs = CreateObject("Scripting.FileSystemObject")
Set vidorra = CreateObject("Vidorra.Application")
vidorra.StartX = 0
vidorra.StartY = 0
vidorra.Width = 640
vidorra.Height = 480
vidorra.FrameRate = 15
vidorra.FileName = fs.BuildPath(fs.GetParentFolderName(WScript.ScriptFullName), "demo.avi")
vidorra.StartRec
Do While vidorra.GetRecordState() <> 1   ' the start is taken up by the recorder's own loop
    WScript.Sleep 100
Loop
WScript.Sleep 5000
vidorra.StopRec
WScript.Echo "Recorded " & vidorra.FileName
