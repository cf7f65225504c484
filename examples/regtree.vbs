' regtree.vbs - prints a registry key and everything below it, laid out like
' "reg query <key> /s", using only the VornRegAccLib component.
'
'   cscript //nologo regtree.vbs ROOT [PATH]
'
' ROOT is HKCU, HKLM, HKCR, HKU or HKCC (or the full HKEY_... name); PATH is
' the key below it (default: the root itself). Each key prints as a blank
' line and its full path, then one line per value:
'     name    REG_TYPE    data
' with "(Default)" for the key's default value. The component decodes the
' data of REG_SZ and REG_DWORD values; for the other types the data column
' is left empty. Exit status: 0, or 1 when the key does not exist or a read
' failed, 2 for a usage error.
Option Explicit

Dim gFailed
gFailed = False

Function RootHandle(name, ByRef fullName)
  Select Case UCase(name)
    Case "HKCR", "HKEY_CLASSES_ROOT": RootHandle = &H80000000: fullName = "HKEY_CLASSES_ROOT"
    Case "HKCU", "HKEY_CURRENT_USER": RootHandle = &H80000001: fullName = "HKEY_CURRENT_USER"
    Case "HKLM", "HKEY_LOCAL_MACHINE": RootHandle = &H80000002: fullName = "HKEY_LOCAL_MACHINE"
    Case "HKU", "HKEY_USERS": RootHandle = &H80000003: fullName = "HKEY_USERS"
    Case "HKCC", "HKEY_CURRENT_CONFIG": RootHandle = &H80000005: fullName = "HKEY_CURRENT_CONFIG"
    Case Else: RootHandle = 0: fullName = ""
  End Select
End Function

Function TypeText(code)
  Select Case code
    Case 0: TypeText = "REG_NONE"
    Case 1: TypeText = "REG_SZ"
    Case 2: TypeText = "REG_EXPAND_SZ"
    Case 3: TypeText = "REG_BINARY"
    Case 4: TypeText = "REG_DWORD"
    Case 5: TypeText = "REG_DWORD_BIG_ENDIAN"
    Case 6: TypeText = "REG_LINK"
    Case 7: TypeText = "REG_MULTI_SZ"
    Case 8: TypeText = "REG_RESOURCE_LIST"
    Case 9: TypeText = "REG_FULL_RESOURCE_DESCRIPTOR"
    Case 10: TypeText = "REG_RESOURCE_REQUIREMENTS_LIST"
    Case 11: TypeText = "REG_QWORD"
    Case Else: TypeText = "REG_TYPE_" & code
  End Select
End Function

Function DataText(record)
  Dim data
  data = record.Value
  If IsEmpty(data) Then
    DataText = ""
  ElseIf record.ValueType = 4 Then
    DataText = "0x" & LCase(Hex(data))
  Else
    DataText = CStr(data)
  End If
End Function

Sub Report(what, where)
  WScript.Echo "ERROR: " & what & " at " & where & ": " & Err.Description & " (" & Err.Number & ")"
  Err.Clear
  gFailed = True
End Sub

Sub PrintKey(key, shown)
  On Error Resume Next
  Dim record, child, i, name

  WScript.Echo ""
  WScript.Echo shown
  ' For Each walks the collection as it loaded at the start of the loop. A
  ' load that fails enters the body once with the error set: leave then.
  i = 0
  For Each record In key.Values
    If Err.Number <> 0 Then Exit For
    i = i + 1
    name = record.Name
    If name = "" Then name = "(Default)"
    WScript.Echo "    " & name & "    " & TypeText(record.ValueType) & "    " & DataText(record)
    If Err.Number <> 0 Then Report "reading value " & i, shown
  Next
  If Err.Number <> 0 Then Report "reading the values", shown

  For Each child In key.SubKeys
    If Err.Number <> 0 Then Exit For
    PrintKey child, shown & "\" & child.Name
  Next
  If Err.Number <> 0 Then Report "reading the sub-keys", shown
End Sub

Sub Main()
  Dim args, root, fullName, path, key, shown
  Set args = WScript.Arguments
  If args.Count < 1 Or args.Count > 2 Then
    WScript.Echo "usage: cscript //nologo regtree.vbs ROOT [PATH]   (ROOT: HKCU, HKLM, HKCR, HKU, HKCC)"
    WScript.Quit 2
  End If
  root = RootHandle(args(0), fullName)
  If fullName = "" Then
    WScript.Echo "ERROR: unknown root key " & args(0)
    WScript.Quit 2
  End If
  path = ""
  If args.Count = 2 Then path = args(1)

  On Error Resume Next
  Set key = CreateObject("VornRegAccLib.clsKey")
  If Err.Number <> 0 Then
    WScript.Echo "ERROR: cannot create VornRegAccLib.clsKey (is VornRegistry.dll registered?): " & Err.Description
    WScript.Quit 1
  End If
  key.HKEY = root
  key.Path = path
  shown = fullName
  If key.Path <> "" Then shown = fullName & "\" & key.Path
  If Not key.Exists Then
    WScript.Echo "ERROR: the key " & shown & " does not exist"
    WScript.Quit 1
  End If
  PrintKey key, shown
  WScript.Echo ""
  If gFailed Then WScript.Quit 1
End Sub

Main
