' permissions.vbs - lists who may touch a registry key and, given an account,
' grants it rights there, using only the VornRegAccLib component.
'
'   cscript //nologo permissions.vbs ROOT PATH [ACCOUNT RIGHTS]
'
' ROOT is HKCU, HKLM, HKCR, HKU or HKCC (or the full HKEY_... name); PATH is
' the key below it. The script prints the key's owner and one line per entry
' of its DACL, in order:
'
'     Allow  BUILTIN\Users  Read  (passed on to sub-keys)
'
' Given ACCOUNT (a name such as Users or NT AUTHORITY\LOCAL SERVICE, a SID
' string or an alias such as BU) and RIGHTS (words such as "Read, SetValue"
' or FullControl), it grants the account those rights on the key and its
' sub-keys, prints the entries again, and says whether the caller may now
' write values there ("may write: True"). Nothing else is changed.
'
' Exit status: 0 when done, 1 when the key cannot be read or changed (the
' error is printed), 2 for a usage error.
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

Sub PrintRules(k)
  Dim rules, rule, line
  rules = k.AccessRules
  WScript.Echo "owner: " & Mid(k.GetSecurity("O"), 3) & "; " & (UBound(rules) + 1) & " entries"
  For Each rule In rules
    line = "    " & rule(0) & "  " & rule(1) & "  " & rule(2)
    If rule(3) Then line = line & "  (inherited)"
    If rule(4) Then line = line & "  (passed on to sub-keys)"
    WScript.Echo line
  Next
End Sub

Sub Fail(what)
  WScript.Echo what & ": " & Err.Description & " (" & Err.Number & ")"
  WScript.Quit 1
End Sub

Dim args, root, k
Set args = WScript.Arguments
If args.Count <> 2 And args.Count <> 4 Then
  WScript.Echo "usage: cscript //nologo permissions.vbs ROOT PATH [ACCOUNT RIGHTS]"
  WScript.Quit 2
End If
root = RootHandle(args(0))
If root = 0 Then
  WScript.Echo "unknown root " & args(0) & ": write HKCU, HKLM, HKCR, HKU or HKCC"
  WScript.Quit 2
End If

Set k = CreateObject("VornRegAccLib.clsKey")
k.HKEY = root
k.Path = args(1)
On Error Resume Next
PrintRules k
If Err.Number <> 0 Then Fail "cannot read the key's security"
If args.Count = 4 Then
  k.Grant args(2), args(3)
  If Err.Number <> 0 Then Fail "cannot grant " & args(3) & " to " & args(2)
  WScript.Echo "granted " & args(3) & " to " & args(2) & "; now:"
  PrintRules k
  WScript.Echo "may write: " & k.CheckAccess("SetValue")
End If
If Err.Number <> 0 Then Fail "failed"
WScript.Echo "done"
