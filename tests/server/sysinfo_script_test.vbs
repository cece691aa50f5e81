' Creates the control by its versioned program identifier and calls one open and
' one guarded method; the script host is no allowed page, so the guarded method
' must fail with "access denied" (&H80070005, which VBScript reports as its own
' error 70, "Permission denied").
Dim info, value
On Error Resume Next
Set info = CreateObject("Devlore.SysInfo.1")
If Err.Number <> 0 Then
  WScript.Echo "create failed " & Hex(Err.Number)
  WScript.Quit 1
End If
value = info.ValidateSession()
If Err.Number = 0 Then
  WScript.Echo "ValidateSession=" & value
Else
  WScript.Echo "ValidateSession failed " & Hex(Err.Number)
End If
Err.Clear
value = info.GetObjectCount()
If Err.Number = 0 Then
  WScript.Echo "GetObjectCount=" & value
ElseIf Err.Number = 70 Or Err.Number = &H80070005 Then
  WScript.Echo "GetObjectCount=denied"
Else
  WScript.Echo "GetObjectCount=error " & Hex(Err.Number)
End If
