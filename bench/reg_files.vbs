' One Export, Import or CopyTree by a clsKey, for the benchmark of
' bench/reg_files.sh.
'   cscript //nologo reg_files.vbs export|import|copytree ROOT PATH FILE|DESTINATION
' ROOT is the root key's number (&H80000001 for HKEY_CURRENT_USER); a
' DESTINATION is a path below it. Prints "done" when the member returned True.
Option Explicit
Dim a, k, ok
Set a = WScript.Arguments
Set k = CreateObject("VornRegAccLib.clsKey")
k.HKEY = CLng(a(1))
k.Path = a(2)
Select Case a(0)
  Case "export": ok = k.Export(a(3), True)
  Case "import": ok = k.Import(a(3))
  Case "copytree": ok = k.CopyTree(a(3))
End Select
If ok Then WScript.Echo "done"
