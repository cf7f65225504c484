' Creates a key object by its ProgID and reads HKCU\Software through it:
' prints "probe: works" when that succeeds.
On Error Resume Next
Set k = CreateObject("VornRegAccLib.clsKey")
If Err.Number <> 0 Then
  WScript.Echo "probe: CreateObject failed with " & Err.Number
  WScript.Quit 1
End If
k.HKEY = &H80000001
k.Path = "Software"
If Err.Number = 0 And k.Exists Then WScript.Echo "probe: works" Else WScript.Echo "probe: cannot read HKCU\Software"
