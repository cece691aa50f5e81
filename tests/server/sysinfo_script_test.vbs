' Creates the control by its versioned program identifier and calls the open
' method and every guarded one; the script host is no allowed page, so each
' guarded method must fail with "access denied" (&H80070005, which VBScript
' reports as its own error 70, "Permission denied").
Dim info, value, out
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

' One line per guarded method: NAME=denied, or what happened instead.
Sub Report(name)
  If Err.Number = 0 Then
    WScript.Echo name & "=answered"
  ElseIf Err.Number = 70 And Err.Description = "Permission denied" Then
    WScript.Echo name & "=denied"
  Else
    WScript.Echo name & "=error " & Hex(Err.Number) & " " & Err.Description
  End If
  Err.Clear
End Sub

Err.Clear
info.IsVersionCompatible 1, 1, 2, out
Report "IsVersionCompatible"
value = info.InitializeDeviceObjects()
Report "InitializeDeviceObjects"
value = info.GetObjectCount()
Report "GetObjectCount"
info.GetDeviceTypeByIndex 0, out
Report "GetDeviceTypeByIndex"
info.GetCatCountByIndex 0, out
Report "GetCatCountByIndex"
info.GetElementsInCatByIndices 0, 0, out
Report "GetElementsInCatByIndices"
info.GetSingleString 0, 0, 0, out
Report "GetSingleString"
value = info.DeInitializeDeviceObjects()
Report "DeInitializeDeviceObjects"
WScript.Echo "done"
