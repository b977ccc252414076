' A scripting client of Pelorin_Client.PelorinClient against a running store server:
'   cscript //nologo StoreClient.vbs PORT
' Every method, True and False from DirFile, error 5 on an unexpected status and error 91
' after Cancel. The last line is the summary the test looks for; the exit code is the
' number of failed checks. When the class cannot be created (the script host's bitness
' has no registered DLL), the one failure reported is "CreateObject (error 429: ...)".
Option Explicit
On Error Resume Next

Dim checks, failures
checks = 0
failures = 0

Sub Check(ok, what)
    checks = checks + 1
    If Not ok Then
        failures = failures + 1
        WScript.Echo "FAILED: " & what & " (error " & Err.Number & ": " & Err.Description & ")"
    End If
    Err.Clear
End Sub

Sub Finish
    WScript.Echo "SUMMARY: " & checks & " checks, " & failures & " failed"
    WScript.Quit failures
End Sub

Dim client, found, text, name
Set client = CreateObject("Pelorin_Client.PelorinClient")
Check Err.Number = 0, "CreateObject"
' Without an object every other check would only fail as well.
If failures > 0 Then Finish
client.SetPort CLng(WScript.Arguments(0))
Check Err.Number = 0, "SetPort"

client.NewFolder "vbs"
Check Err.Number = 0, "NewFolder"
client.NewFile "vbs/f"
Check Err.Number = 0, "NewFile"
found = client.DirFile("vbs/f")
Check Err.Number = 0 And TypeName(found) = "Boolean" And found = True, "DirFile gives True"
found = client.DirFile("vbs/none")
Check Err.Number = 0 And TypeName(found) = "Boolean" And found = False, "DirFile gives False"

client.SetFile "vbs/f", "one" & vbCrLf & "two"
Check Err.Number = 0, "SetFile"
name = "vbs/f"
text = client.GetFile(name)
Check Err.Number = 0 And text = "one" & vbCrLf & "two", "GetFile with a variable argument"
text = client.DirFolder("vbs")
Check Err.Number = 0 And text = "f" & vbCr, "DirFolder"

' An unexpected status: 404 where 200 is the only success.
text = client.GetFile("vbs/none")
Check Err.Number = 5, "GetFile of a missing file gives error 5"
client.NewFile "vbs/f"
Check Err.Number = 5, "NewFile of an existing file gives error 5"

client.DeleteFile "vbs/f"
Check Err.Number = 0, "DeleteFile"
client.DeleteFolder "vbs"
Check Err.Number = 0, "DeleteFolder"

client.Cancel
Check Err.Number = 0, "Cancel"
text = client.GetFile("vbs/f")
Check Err.Number = 91, "GetFile after Cancel gives error 91"
client.Cancel
Check Err.Number = 91, "a second Cancel gives error 91"
client.SetPort 9000
Check Err.Number = 0, "SetPort after Cancel"
Set client = Nothing
Check Err.Number = 0, "release"

Finish
