' VBScript client of the key object's CopyTree and Rename, late-bound as a
' script writer calls them, on a scratch key under
' HKCU\Software\VornRegistryTests\<unique>: True when done, a trappable
' error with a description for every refusal. Exact bytes and failures
' part-way are tested in C++.
'
' Run: cscript //nologo tree_suite.vbs; the last line is always
' "<n> passed, <m> failed" (Wine's VBScript ends silently on an unhandled
' error, so everything runs under On Error Resume Next; it also lacks
' Join).
Option Explicit
On Error Resume Next

Const HKCU = &H80000001
Dim gPassed, gFailed, gBase
gPassed = 0
gFailed = 0

Sub Check(cond, what)
  If Err.Number <> 0 Then
    gFailed = gFailed + 1
    WScript.Echo "FAIL: unexpected error " & Err.Number & " (" & Err.Description & ") at: " & what
    Err.Clear
  ElseIf cond Then
    gPassed = gPassed + 1
  Else
    gFailed = gFailed + 1
    WScript.Echo "FAIL: " & what
  End If
End Sub

' The error pending must be number, with a description holding part.
Sub Raised(number, part, what)
  Dim n, d
  n = Err.Number: d = Err.Description
  Err.Clear
  Check n = number And InStr(d, part) > 0, what & " (error " & n & ": " & d & ")"
End Sub

Function KeyAt(path)
  Set KeyAt = CreateObject("VornRegAccLib.clsKey")
  KeyAt.HKEY = HKCU
  KeyAt.Path = path
End Function

Sub Main()
  Dim base, src, dst, r, vs
  On Error Resume Next
  Randomize
  gBase = "Software\VornRegistryTests\vbs-tree-" & CStr(Int(Timer * 100)) & "-" & CStr(Int(Rnd * 1000000))
  Set base = KeyAt("Software\VornRegistryTests")
  Check base.SubKeys.Add(Mid(gBase, Len("Software\VornRegistryTests\") + 1)), "scratch key made"
  Set src = KeyAt(gBase)
  Check src.SubKeys.Add("src\child\leaf"), "source made"
  src.Path = gBase & "\src"
  Set vs = src.Values
  Check vs.SetValue("list", Array("one", "two"), 7), "REG_MULTI_SZ written"
  Check vs.SetValue("big", "18446744073709551615", 11), "REG_QWORD written"
  Check vs.SetValue("", "default", 1), "default value written"

  ' To a path below the same root, and to another key object.
  r = src.CopyTree(gBase & "\copies\first")
  Check r = True And VarType(r) = vbBoolean, "CopyTree to a path answers True"
  Set dst = KeyAt(gBase & "\copies\first")
  Check dst.Values.GetValue("big") = "18446744073709551615", "REG_QWORD copied"
  r = dst.Values.GetValue("list")
  Check UBound(r) = 1 And r(0) = "one" And r(1) = "two", "REG_MULTI_SZ copied"
  Check KeyAt(gBase & "\copies\first\child\leaf").Exists, "sub-keys copied all the way down"
  Set dst = KeyAt(gBase & "\copies\second")
  Check Not dst.Exists, "second copy not there yet"
  Check src.CopyTree(dst), "CopyTree to a key object"
  Check dst.Exists, "the destination object refreshed"

  ' Refusals: errors, nothing written.
  r = Empty
  r = src.CopyTree(gBase & "\copies\first")
  Raised &H800700B7, "already exists", "an existing destination refused"
  Check IsEmpty(r), "no answer from a refused copy"
  r = src.CopyTree(gBase & "\SRC\Child\inside")
  Raised 5, "lies inside", "a destination inside the source refused"
  Check Not KeyAt(gBase & "\src\child\inside").Exists, "nothing written inside the source"
  r = src.CopyTree(base.SubKeys)
  Raised 13, "key object", "another kind of object refused"

  ' Rename: Path follows the key.
  Set dst = KeyAt(gBase & "\copies\first")
  Check dst.Rename("renamed"), "Rename answers True"
  Check dst.Path = gBase & "\copies\renamed" And dst.Exists, "Path names the renamed key"
  Check KeyAt(gBase & "\copies\renamed\child\leaf").Exists, "everything below kept"
  Check Not KeyAt(gBase & "\copies\first").Exists, "the old name gone"
  ' Wine 8's RegRenameKey would have put "renamed" in the place of "second".
  Check KeyAt(gBase & "\copies\second").Exists, "the next sibling kept"
  r = dst.Rename("SECOND")
  Raised &H800700B7, "already exists", "an existing sibling refused"
  r = dst.Rename("a\b")
  Raised 5, "backslash", "a name with a backslash refused"
  r = dst.Rename("")
  Raised 5, "empty", "an empty name refused"
  Check dst.Path = gBase & "\copies\renamed", "refusals leave Path as it was"

  Check base.SubKeys.Delete(Mid(gBase, Len("Software\VornRegistryTests\") + 1)), "scratch key removed"
End Sub

Main
If Err.Number <> 0 Then gFailed = gFailed + 1: WScript.Echo "FAIL: error " & Err.Number & " " & Err.Description
WScript.Echo gPassed & " passed, " & gFailed & " failed"
