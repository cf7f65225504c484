' VBScript client of the key object's CopyTree and Rename through the
' registered module, on a scratch key under HKCU\Software\VornRegistryTests:
' True when done, a trappable error with a description for a refusal, and
' a rename that keeps its siblings (Wine 8's RegRenameKey would not). Exact
' bytes, refusals and failures part-way are tested in C++.
' Run: cscript //nologo tree_suite.vbs; the last line is "<n> passed, <m>
' failed". Wine's VBScript ends silently on an unhandled error, hence
' On Error Resume Next throughout.
Option Explicit
On Error Resume Next
Dim gPassed, gFailed
gPassed = 0: gFailed = 0

Sub Check(cond, what)
  If Err.Number <> 0 Then
    WScript.Echo "FAIL: unexpected error " & Err.Number & " (" & Err.Description & ") at: " & what
    Err.Clear: gFailed = gFailed + 1
  ElseIf cond Then
    gPassed = gPassed + 1
  Else
    WScript.Echo "FAIL: " & what: gFailed = gFailed + 1
  End If
End Sub

' The error pending must be number, with a description holding part.
Sub Raised(number, part, what)
  Dim n, d
  n = Err.Number: d = Err.Description: Err.Clear
  Check n = number And InStr(d, part) > 0, what & " (error " & n & ": " & d & ")"
End Sub

Function KeyAt(path)
  Set KeyAt = CreateObject("VornRegAccLib.clsKey")
  KeyAt.HKEY = &H80000001
  KeyAt.Path = "Software\VornRegistryTests\" & path
End Function

Sub Main()
  Dim base, name, src, dst, r
  On Error Resume Next
  Randomize
  name = "vbs-tree-" & CStr(Int(Timer * 100)) & "-" & CStr(Int(Rnd * 1000000))
  ' Made from HKCU\Software: the parent of all scratch keys comes and goes
  ' with the other suites, which remove it once it is empty.
  Set base = CreateObject("VornRegAccLib.clsKey")
  base.HKEY = &H80000001
  base.Path = "Software"
  Check base.SubKeys.Add("VornRegistryTests\" & name & "\src\child\leaf"), "source made"
  Set base = KeyAt("")
  Set src = KeyAt(name & "\src")
  Check src.Values.SetValue("list", Array("one", "two"), 7), "a value written"

  r = src.CopyTree(src.Path & ".copy")
  Check r = True And VarType(r) = vbBoolean, "CopyTree to a path answers True"
  Check KeyAt(name & "\src.copy\child\leaf").Exists, "sub-keys copied all the way down"
  Set dst = KeyAt(name & "\second")
  Check src.CopyTree(dst) And dst.Exists, "CopyTree to a key object, which is refreshed"
  r = Empty
  r = src.CopyTree(dst)
  Raised &H800700B7, "already exists", "an existing destination refused"
  Check IsEmpty(r), "no answer from a refused copy"
  r = src.CopyTree(src.Path & "\CHILD\inside")
  Raised 5, "lies inside", "a destination inside the source refused"

  ' "src" sorts just before "src.copy": Wine 8's RegRenameKey would put the
  ' renamed key in its sibling's place.
  Check src.Rename("src-renamed"), "Rename answers True"
  Check src.Path = base.Path & "\" & name & "\src-renamed" And src.Exists, "Path names the renamed key"
  Check KeyAt(name & "\src-renamed\child\leaf").Exists, "everything below kept"
  Check KeyAt(name & "\src.copy\child\leaf").Exists And KeyAt(name & "\second").Exists, "the siblings kept"
  r = src.Rename("SECOND")
  Raised &H800700B7, "already exists", "an existing sibling refused"

  Check base.SubKeys.Delete(name), "scratch key removed"
End Sub

Main
If Err.Number <> 0 Then gFailed = gFailed + 1: WScript.Echo "FAIL: error " & Err.Number & " " & Err.Description
WScript.Echo gPassed & " passed, " & gFailed & " failed"
