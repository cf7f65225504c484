' One Export or Import by a clsKey, for the benchmark of bench/reg_files.sh.
'   cscript //nologo reg_files.vbs export|import ROOT PATH FILE
' ROOT is the root key's number (&H80000001 for HKEY_CURRENT_USER). Prints
' "done" when the member returned True.
Option Explicit
Dim a, k, ok
Set a = WScript.Arguments
Set k = CreateObject("VornRegAccLib.clsKey")
k.HKEY = CLng(a(1))
k.Path = a(2)
If a(0) = "export" Then ok = k.Export(a(3), True) Else ok = k.Import(a(3))
If ok Then WScript.Echo "done"
