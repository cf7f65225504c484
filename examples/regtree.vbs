' regtree.vbs - prints a registry key and everything below it exactly as
' "reg query <key> /s" does, using only the VornRegAccLib component.
'
'   cscript //nologo regtree.vbs ROOT [PATH] [/reg:32 | /reg:64]
'
' ROOT is HKCU, HKLM, HKCR, HKU or HKCC (or the full HKEY_... name); PATH is
' the key below it (default: the root itself). /reg:32 and /reg:64 choose the
' registry view as they do for reg.exe; without them the script sees the view
' of its host (a 32-bit cscript on 64-bit Windows sees the 32-bit one).
'
' Each key prints as a blank line and its full path, then one line per value:
'     name    REG_TYPE    data
' with "(Default)" for the key's default value. The data column:
'   REG_SZ, REG_EXPAND_SZ   the text up to its first zero character, unexpanded
'   REG_MULTI_SZ            the strings joined by the two characters \0
'   REG_DWORD, REG_DWORD_BIG_ENDIAN, REG_QWORD
'                           0x and lower-case hex of the little-endian number
'                           (as reg.exe reads it, big-endian data unswapped);
'                           missing bytes of shorter data count as zero, and
'                           of longer data only the first bytes count
'   REG_NONE, REG_BINARY    every byte as two upper-case hex digits
'   any other type          "(null)" for both type and data, as reg.exe prints
' The key asked for prints its heading only when it has values, as with
' reg.exe; an empty line ends the listing.
' REG_SZ and REG_DWORD data come with the value records; the other types are
' read one value at a time with the collection's GetValue.
'
' Exit status: 0, or 1 when the key does not exist or a read failed, 2 for a
' usage error.
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

' The type names reg.exe knows; it prints "(null)" for any other code.
Function TypeText(code)
  Select Case code
    Case 0: TypeText = "REG_NONE"
    Case 1: TypeText = "REG_SZ"
    Case 2: TypeText = "REG_EXPAND_SZ"
    Case 3: TypeText = "REG_BINARY"
    Case 4: TypeText = "REG_DWORD"
    Case 5: TypeText = "REG_DWORD_BIG_ENDIAN"
    Case 7: TypeText = "REG_MULTI_SZ"
    Case 11: TypeText = "REG_QWORD"
    Case Else: TypeText = "(null)"
  End Select
End Function

' Text as reg.exe shows it: up to the first zero character.
Function UpToZero(text)
  Dim at
  at = InStr(text, Chr(0))
  If at > 0 Then UpToZero = Left(text, at - 1) Else UpToZero = text
End Function

' The strings of a list joined by the two characters \0 (Wine's VBScript
' has no Join).
Function JoinedText(texts)
  Dim i, text
  text = ""
  For i = 0 To UBound(texts)
    If i > 0 Then text = text & "\0"
    text = text & texts(i)
  Next
  JoinedText = text
End Function

Function BytesText(bytes)
  Dim i, text
  text = ""
  For i = 0 To UBound(bytes)
    text = text & Right("0" & Hex(bytes(i)), 2)
  Next
  BytesText = text
End Function

' 0x and lower-case hex of the first `size` bytes read as a little-endian
' number; missing bytes count as zero.
Function LittleEndianText(bytes, size)
  Dim i, text
  text = ""
  For i = size - 1 To 0 Step -1
    If i <= UBound(bytes) Then text = text & Right("0" & Hex(bytes(i)), 2)
  Next
  Do While Left(text, 1) = "0"
    text = Mid(text, 2)
  Loop
  If text = "" Then text = "0"
  LittleEndianText = "0x" & LCase(text)
End Function

' Hex of a whole number given as decimal text of any length (a REG_QWORD's
' data comes as text: a script has no 64-bit integers). Long division by 16.
Function DecimalToHex(decimal)
  Dim digits, quotient, remainder, i, d, text
  digits = decimal
  text = ""
  Do
    quotient = ""
    remainder = 0
    For i = 1 To Len(digits)
      d = remainder * 10 + CInt(Mid(digits, i, 1))
      If quotient <> "" Or d >= 16 Then quotient = quotient & CStr(d \ 16)
      remainder = d Mod 16
    Next
    text = LCase(Hex(remainder)) & text
    digits = quotient
  Loop While digits <> ""
  DecimalToHex = text
End Function

Function DataText(values, record)
  Dim data
  Select Case record.ValueType
    Case 1
      DataText = UpToZero(CStr(record.Value))
    Case 4
      data = record.Value
      ' Data longer than four bytes has no number in the record: reg.exe
      ' shows its first four bytes.
      If IsEmpty(data) Then
        DataText = LittleEndianText(values.GetValue(record.Name), 4)
      Else
        DataText = "0x" & LCase(Hex(data))
      End If
    Case 2
      DataText = UpToZero(values.GetValue(record.Name))
    Case 7
      DataText = JoinedText(values.GetValue(record.Name))
    Case 0, 3
      DataText = BytesText(values.GetValue(record.Name))
    Case 5
      DataText = LittleEndianText(values.GetValue(record.Name), 4)
    Case 11
      data = values.GetValue(record.Name)
      If IsArray(data) Then
        DataText = LittleEndianText(data, 8)
      Else
        DataText = "0x" & DecimalToHex(data)
      End If
    Case Else
      DataText = "(null)"
  End Select
End Function

Sub Report(what, where)
  WScript.Echo "ERROR: " & what & " at " & where & ": " & Err.Description & " (" & Err.Number & ")"
  Err.Clear
  gFailed = True
End Sub

' Lists a key and, below it, its sub-keys. reg.exe leaves out the heading of
' the key it was asked for (top) when that key has no values.
Sub PrintKey(key, shown, top)
  On Error Resume Next
  Dim values, record, child, i, name, line

  Set values = key.Values
  If Not top Or values.Count > 0 Then
    WScript.Echo ""
    WScript.Echo shown
  End If
  If Err.Number <> 0 Then Report "reading the values", shown
  ' For Each walks the collection as it loaded at the start of the loop. A
  ' load that fails enters the body once with the error set: leave then.
  i = 0
  For Each record In values
    If Err.Number <> 0 Then Exit For
    i = i + 1
    name = record.Name
    If name = "" Then name = "(Default)"
    line = "    " & name & "    " & TypeText(record.ValueType) & "    " & DataText(values, record)
    If Err.Number <> 0 Then
      Report "reading value " & i, shown
    Else
      WScript.Echo line
    End If
  Next
  If Err.Number <> 0 Then Report "reading the values", shown

  For Each child In key.SubKeys
    If Err.Number <> 0 Then Exit For
    PrintKey child, shown & "\" & child.Name, False
  Next
  If Err.Number <> 0 Then Report "reading the sub-keys", shown
End Sub

Sub Usage()
  WScript.Echo "usage: cscript //nologo regtree.vbs ROOT [PATH] [/reg:32 | /reg:64]   (ROOT: HKCU, HKLM, HKCR, HKU, HKCC)"
  WScript.Quit 2
End Sub

Sub Main()
  Dim args, arg, i, count, view, rootName, root, fullName, path, key, shown
  ' The view option may stand anywhere; the other words are ROOT and PATH.
  Set args = WScript.Arguments
  count = 0
  view = 0
  path = ""
  For i = 0 To args.Count - 1
    arg = args(i)
    Select Case LCase(arg)
      Case "/reg:32": view = 32
      Case "/reg:64": view = 64
      Case Else
        If Left(arg, 1) = "/" Then Usage
        If count = 0 Then rootName = arg Else path = arg
        count = count + 1
    End Select
  Next
  If count < 1 Or count > 2 Then Usage
  root = RootHandle(rootName, fullName)
  If fullName = "" Then
    WScript.Echo "ERROR: unknown root key " & rootName
    WScript.Quit 2
  End If

  On Error Resume Next
  Set key = CreateObject("VornRegAccLib.clsKey")
  If Err.Number <> 0 Then
    WScript.Echo "ERROR: cannot create VornRegAccLib.clsKey (is VornRegistry.dll registered?): " & Err.Description
    WScript.Quit 1
  End If
  ' The view first: the key opens in it once HKEY and Path are set.
  If view <> 0 Then
    key.View = view
    If Err.Number <> 0 Then
      WScript.Echo "ERROR: cannot choose the " & view & "-bit registry view: " & Err.Description & " (" & Err.Number & ")"
      WScript.Quit 1
    End If
  End If
  key.HKEY = root
  key.Path = path
  shown = fullName
  If key.Path <> "" Then shown = fullName & "\" & key.Path
  If Not key.Exists Then
    WScript.Echo "ERROR: the key " & shown & " does not exist"
    WScript.Quit 1
  End If
  PrintKey key, shown, True
  WScript.Echo ""
  If gFailed Then WScript.Quit 1
End Sub

Main
