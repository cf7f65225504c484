' watch.vbs - waits for changes to a registry key or anything below it and
' prints the key's values after each one, using only the VornRegAccLib
' component.
'
'   cscript //nologo watch.vbs ROOT PATH [CHANGES [TIMEOUT_MS]]
'
' ROOT is HKCU, HKLM, HKCR, HKU or HKCC (or the full HKEY_... name); PATH is
' the key below it. CHANGES is how many changes to wait for (default 1);
' TIMEOUT_MS how long to wait for each one, in milliseconds (default -1: no
' limit). A change is a value set or deleted, or a sub-key created or
' deleted, at the key or anywhere below it. Several changes that come while
' the script prints count as one.
'
' After each change it prints "change N" and then one line per value of the
' key, "    name = data" (REG_SZ and REG_DWORD data; other types print their
' type code). It ends with "watched N changes" or "timed out after N
' changes".
'
' Under Wine 8 the deletion of the watched key itself is not signalled to its
' watchers, only to those of its parent: to see a key go, watch its parent.
'
' Exit status: 0 after CHANGES changes, 1 at a timeout or when the key cannot
' be watched (it does not exist, say), 2 for a usage error.
Option Explicit

Function RootHandle(name)
  Select Case UCase(name)
    Case "HKCR", "HKEY_CLASSES_ROOT": RootHandle = &H80000000
    Case "HKCU", "HKEY_CURRENT_USER": RootHandle = &H80000001
    Case "HKLM", "HKEY_LOCAL_MACHINE": RootHandle = &H80000002
    Case "HKU", "HKEY_USERS": RootHandle = &H80000003
    Case "HKCC", "HKEY_CURRENT_CONFIG": RootHandle = &H80000005
    Case Else: RootHandle = 0
  End Select
End Function

Sub PrintValues(k)
  Dim v, name
  For Each v In k.Values
    name = v.Name
    If name = "" Then name = "(Default)"
    Select Case v.ValueType
      Case 1, 4: WScript.Echo "    " & name & " = " & v.Value
      Case Else: WScript.Echo "    " & name & " (type " & v.ValueType & ")"
    End Select
  Next
End Sub

Dim args, root, k, wanted, timeout, seen, changed
Set args = WScript.Arguments
If args.Count < 2 Or args.Count > 4 Then
  WScript.Echo "usage: cscript //nologo watch.vbs ROOT PATH [CHANGES [TIMEOUT_MS]]"
  WScript.Quit 2
End If
root = RootHandle(args(0))
wanted = 1
timeout = -1
If args.Count > 2 Then wanted = CLng(args(2))
If args.Count > 3 Then timeout = CLng(args(3))
If root = 0 Or wanted < 1 Then
  WScript.Echo "usage: cscript //nologo watch.vbs ROOT PATH [CHANGES [TIMEOUT_MS]]"
  WScript.Quit 2
End If

Set k = CreateObject("VornRegAccLib.clsKey")
k.HKEY = root
k.Path = args(1)
seen = 0
Do While seen < wanted
  On Error Resume Next
  changed = k.WaitForChange(timeout, True)
  If Err.Number <> 0 Then
    WScript.Echo "cannot watch: " & Err.Description & " (" & Err.Number & ")"
    WScript.Quit 1
  End If
  On Error GoTo 0
  If Not changed Then
    WScript.Echo "timed out after " & seen & " changes"
    WScript.Quit 1
  End If
  seen = seen + 1
  WScript.Echo "change " & seen
  ' Refresh gives fresh collections; the watch stays armed, so a change made
  ' while this prints is reported by the next wait.
  k.Refresh
  If k.Exists Then PrintValues k Else WScript.Echo "    (the key no longer exists)"
Loop
WScript.Echo "watched " & seen & " changes"
