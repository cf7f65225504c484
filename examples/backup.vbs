' backup.vbs - saves a registry key and everything below it to a .reg file,
' deletes the tree, and puts it back from the file, using only the
' VornRegAccLib component.
'
'   cscript //nologo backup.vbs [PATH [FILE]]
'
' PATH is a key below HKEY_CURRENT_USER (default: a small demo tree that the
' script makes under Software\VornRegistryTests and removes at the end);
' FILE is the .reg file (default: backup.reg in the temporary folder), which
' is replaced when it exists. Export reads the whole tree before it writes
' the file and refuses a key it cannot read; Import checks the whole file
' before its first write and undoes everything when a write fails. So the
' tree is deleted only after a complete backup, and comes back whole.
Option Explicit
Const HKCU = &H80000001, REG_SZ = 1, REG_DWORD = 4, REG_BINARY = 3
Dim demo, path, file, k, parent, top, slash

demo = WScript.Arguments.Count = 0
path = "Software\VornRegistryTests\backup-demo"
If Not demo Then path = WScript.Arguments(0)
If WScript.Arguments.Count > 1 Then
  file = WScript.Arguments(1)
Else
  file = CreateObject("Scripting.FileSystemObject").GetSpecialFolder(2) & "\backup.reg"
End If

Set k = CreateObject("VornRegAccLib.clsKey")
k.HKEY = HKCU
k.Path = path
slash = InStrRev(path, "\")
Set parent = CreateObject("VornRegAccLib.clsKey")
parent.HKEY = HKCU
If slash > 0 Then parent.Path = Left(path, slash - 1)
Set top = CreateObject("VornRegAccLib.clsKey")  ' HKEY_CURRENT_USER itself
top.HKEY = HKCU
If demo Then
  top.SubKeys.Add path & "\Settings"
  k.Refresh
  k.Values.Add "", "demo tree", REG_SZ
  k.SubKeys("Settings").Values.Add "Width", 1280, REG_DWORD
  k.SubKeys("Settings").Values.SetValue "Blob", Array(1, 2, 254), REG_BINARY
End If
If Not k.Exists Then
  WScript.Echo "HKEY_CURRENT_USER\" & path & " does not exist"
  WScript.Quit 1
End If

k.Export file, True  ' an error stops the script here, before anything is deleted
WScript.Echo "saved HKEY_CURRENT_USER\" & path & " to " & file
parent.SubKeys.Delete k.Name
k.Refresh
WScript.Echo "deleted; it exists: " & k.Exists
k.Import file
WScript.Echo "imported; it exists: " & k.Exists & ", with " & k.Values.Count & " values and " & _
  k.SubKeys.Count & " sub-keys"
If demo Then top.SubKeys.Delete path
WScript.Echo "done"
