' The registry views from a host of either bitness, in a win64 prefix where
' both modules are registered: with View set to the other view, reads,
' writes and deletes reach that view only; with View left at 0 the host
' stays in its own. Checked with the 32-bit reg.exe and /reg:32 or /reg:64
' under HKLM\Software\VornRegistryTests\<unique>, which the views keep apart
' (they share HKCU\Software).
'   cscript //nologo cross_view.vbs <the host's bitness: 32 or 64>
' Last line: "<n> passed, <m> failed".
Option Explicit
Const HKLM = &H80000002, REG_SZ = 1, REG_DWORD = 4, ROOT = "Software\VornRegistryTests"
Dim gPassed, gFailed, gShell, gReg, gBase
gPassed = 0
gFailed = 0

Sub Check(cond, what)
  If Err.Number <> 0 Then
    gFailed = gFailed + 1
    WScript.Echo "FAIL: error " & Err.Number & " (" & Err.Description & ") before: " & what
    Err.Clear
  End If
  If cond = True Then
    gPassed = gPassed + 1
  Else
    gFailed = gFailed + 1
    WScript.Echo "FAIL: " & what
  End If
End Sub

' reg.exe on HKLM\<path> in a view: its exit status.
Function Reg(verb, path, options, view)
  Reg = gShell.Run(gReg & " " & verb & " ""HKLM\" & path & """ " & options & " /reg:" & view, 0, True)
End Function

' Whether the key below the scratch key (name "") or its value is there in the view.
Function Has(view, rel, name)
  Dim path, options
  path = gBase
  If rel <> "" Then path = path & "\" & rel
  If name <> "" Then options = "/v " & name
  Has = (Reg("query", path, options, view) = 0)
End Function

Function Make(className, rel, view)
  Dim o
  Set o = CreateObject("VornRegAccLib." & className)
  o.View = view  ' first: a key object refreshes at every assignment
  o.HKEY = HKLM
  o.Path = gBase & "\" & rel  ' a trailing backslash is dropped
  Set Make = o
End Function

Sub Main()
  On Error Resume Next
  Dim own, other, view, vs, ownVs, ks, k
  own = CLng(WScript.Arguments(0))
  other = 96 - own
  Set gShell = CreateObject("WScript.Shell")
  ' The 32-bit reg.exe from either host; Run expands the variable (Wine 8's
  ' ExpandEnvironmentStrings keeps the terminating zero in its result).
  gReg = "%SystemRoot%\syswow64\reg.exe"
  Randomize
  gBase = ROOT & "\view" & own & "-" & Int(Timer * 100) & "-" & Int(Rnd * 1000000)
  ' The same tree in each view, marked with the view.
  For Each view In Array(32, 64)
    Reg "add", gBase & "\tree\sub", "/v side /d " & view & " /f", view
    Reg "add", gBase, "/v side /d " & view & " /f", view
    Reg "add", gBase, "/v gone /d x /f", view
  Next
  Check Has(32, "tree\sub", "side") And Has(64, "tree\sub", "side"), "the tree is there in both views"

  Set vs = Make("clsValues", "", other)
  Set ownVs = Make("clsValues", "", 0)
  Check vs.View = other And ownVs.View = 0, "View reads back"
  Check vs.GetValue("side") = CStr(other) And vs("side").Value = CStr(other), "GetValue and records in view " & other
  Check ownVs.GetValue("side") = CStr(own) And ownVs("side").Value = CStr(own), "View 0 reads the host's own view"
  Check vs.SetValue("set", "s", REG_SZ) And vs.Add("added", "1", REG_DWORD), "SetValue and Add in the other view"
  Check ownVs.SetValue("own", "o", REG_SZ), "SetValue with View 0"
  Check vs.Delete("gone"), "Delete of a value in the other view"

  Set ks = Make("clsKeys", "", other)
  Check ks.Add("made\deep"), "clsKeys.Add in the other view"
  Check ks.Count = 2 And ks("tree").View = other, "the sub-keys listed carry the view"
  Check ks.Delete("tree"), "Delete of a tree in the other view"
  Set k = Make("clsKey", "made\deep", 0)
  Check Not k.Exists, "with View 0 the key made in the other view is not there"
  k.View = other
  Check k.Exists And k.Values.View = other And k.SubKeys.View = other, "assigning View refreshes"

  ' What reg.exe shows in each view.
  Check Has(other, "", "set") And Has(other, "", "added") And Has(other, "made\deep", ""), "written in view " & other
  Check Not (Has(other, "", "gone") Or Has(other, "tree", "") Or Has(other, "", "own")), "deleted in view " & other
  Check Not (Has(own, "", "set") Or Has(own, "", "added") Or Has(own, "made", "")), "nothing made in view " & own
  Check Has(own, "", "gone") And Has(own, "tree\sub", "side") And Has(own, "", "own"), "view " & own & " whole"
  Check Make("clsValues", "tree\sub", 0).GetValue("side") = CStr(own), "the tree left is the host's own"

  For Each view In Array(32, 64)
    Reg "delete", ROOT, "/f", view
    Check Reg("query", ROOT, "", view) <> 0, "scratch keys removed from view " & view
  Next
End Sub

Main
WScript.Echo gPassed & " passed, " & gFailed & " failed"
