' find.vbs - searches a registry key and everything below it for a pattern
' in key names, value names and string data, and prints what it found as
' "reg query KEY /f PATTERN /s" lays it out, using only the VornRegAccLib
' component (clsKey.Find).
'
'   cscript //nologo find.vbs ROOT PATH PATTERN [OPTIONS]
'
' ROOT is HKCU, HKLM, HKCR, HKU or HKCC (or the full HKEY_... name); PATH is
' the key below it ("" for the root). PATTERN may hold the wildcards * and
' ?; it matches any part of a name or string unless OPTIONS has E. OPTIONS
' is any of the letters K (key names), V (value names), D (data; all three
' when none is given), C (exact letter case) and E (the whole text).
'
' Each key with a match prints as a blank line and its full path, then one
' line per matching value:
'     name    REG_TYPE    data
' with "(Default)" for the default value, the data of the string types as
' text (the strings of a REG_MULTI_SZ joined by \0), a REG_DWORD as 0x and
' hex, and other data as hex bytes. Keys that could not be read are listed
' after the matches; the last line is "End of search: N match(es) found."
'
' Exit status: 0 when the search ran, 1 when the key cannot be searched (it
' does not exist, say), 2 for a usage error.
Option Explicit

Dim gRoot  ' the root key's number

' The root's number for its short or full name (0 when there is none), and
' its full name.
Function RootHandle(name, ByRef fullName)
  Dim i, roots, handles
  roots = Array("HKCR", "HKEY_CLASSES_ROOT", "HKCU", "HKEY_CURRENT_USER", "HKLM", "HKEY_LOCAL_MACHINE", _
                "HKU", "HKEY_USERS", "HKCC", "HKEY_CURRENT_CONFIG")
  handles = Array(&H80000000, &H80000001, &H80000002, &H80000003, &H80000005)
  RootHandle = 0: fullName = ""
  For i = 0 To UBound(roots) Step 2
    If UCase(name) = roots(i) Or UCase(name) = roots(i + 1) Then
      fullName = roots(i + 1)
      RootHandle = handles(i \ 2)
    End If
  Next
End Function

Function TypeName_(code)
  Dim names
  names = Array("REG_NONE", "REG_SZ", "REG_EXPAND_SZ", "REG_BINARY", "REG_DWORD", "REG_DWORD_BIG_ENDIAN", _
                "REG_LINK", "REG_MULTI_SZ")
  If code >= 0 And code <= 7 Then
    TypeName_ = names(code)
  ElseIf code = 11 Then
    TypeName_ = "REG_QWORD"
  Else
    TypeName_ = "(" & code & ")"
  End If
End Function

' The data of one value, read when it is printed.
Function Shown(path, name)
  Dim vs, data, i, text
  Set vs = CreateObject("VornRegAccLib.clsValues")
  vs.HKEY = gRoot
  vs.Path = path
  data = vs.GetValue(name)
  If IsArray(data) Then
    text = ""
    For i = 0 To UBound(data)
      If VarType(data(i)) = vbString Then
        If i > 0 Then text = text & "\0"
        text = text & data(i)
      Else
        text = text & Right("0" & Hex(data(i)), 2)
      End If
    Next
    Shown = text
  ElseIf VarType(data) = vbLong Then
    Shown = "0x" & LCase(Hex(data))
  Else
    Shown = data
  End If
End Function

Sub Main()
  Dim args, fullName, key, hits, hit, lastKey, started, name, skipped, i, options
  Set args = WScript.Arguments
  If args.Count < 3 Or args.Count > 4 Then
    WScript.Echo "usage: cscript //nologo find.vbs ROOT PATH PATTERN [OPTIONS]   (ROOT: HKCU, HKLM, HKCR, HKU, HKCC)"
    WScript.Quit 2
  End If
  gRoot = RootHandle(args(0), fullName)
  If fullName = "" Then
    WScript.Echo "ERROR: unknown root key " & args(0)
    WScript.Quit 2
  End If
  options = ""
  If args.Count = 4 Then options = args(3)

  On Error Resume Next
  Set key = CreateObject("VornRegAccLib.clsKey")
  key.HKEY = gRoot
  key.Path = args(1)
  hits = key.Find(args(2), options)
  If Err.Number <> 0 Then
    WScript.Echo "ERROR: " & Err.Description & " (" & Err.Number & ")"
    WScript.Quit 1
  End If
  On Error GoTo 0

  started = False
  For Each hit In hits
    If Not started Or hit(0) <> lastKey Then
      started = True
      WScript.Echo ""
      If hit(0) = "" Then WScript.Echo fullName Else WScript.Echo fullName & "\" & hit(0)
      lastKey = hit(0)
    End If
    If hit(2) <> "key" Then
      name = hit(1)
      If name = "" Then name = "(Default)"
      WScript.Echo "    " & name & "    " & TypeName_(hit(3)) & "    " & Shown(hit(0), hit(1))
    End If
  Next
  skipped = key.FindSkipped
  For i = 0 To UBound(skipped)
    If i = 0 Then WScript.Echo ""
    WScript.Echo "Not searched (cannot be read): " & fullName & "\" & skipped(i)
  Next
  WScript.Echo ""
  WScript.Echo "End of search: " & (UBound(hits) + 1) & " match(es) found."
End Sub

Main
